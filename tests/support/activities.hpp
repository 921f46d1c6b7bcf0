#pragma once

#include "platform/coding/json_decoder.hpp"
#include "platform/host/device/presentation.hpp"
#include "tolvex/download/download_dynamic_island.hpp"
#include "tolvex/download/download_lock_screen_view.hpp"
#include "tolvex/sign/sign_dynamic_island.hpp"
#include "tolvex/sign/sign_lock_screen_view.hpp"

#include <gtest/gtest.h>

#include <string>

// Both presentations of an activity built from a content state's JSON, as the host builds them.
namespace activities {

template <class Attributes, class LockScreen, class Island>
host::ActivityPresentations fromJson(const std::string& json, LockScreen lockScreen,
                                     Island island) {
  auto state = coding::JSONDecoder().decode<typename Attributes::ContentState>(json);
  EXPECT_TRUE(state.ok()) << json;
  const widgets::ActivityViewContext<Attributes> context{std::move(state).value(), {}};
  return {lockScreen(context), island(context)};
}

inline host::ActivityPresentations sign(const std::string& json) {
  return fromJson<tolvex::SignLiveActivityAttributes>(json, tolvex::SignLockScreenView,
                                                      tolvex::SignDynamicIsland);
}

inline host::ActivityPresentations download(const std::string& json) {
  return fromJson<tolvex::DownloadLiveActivityAttributes>(json, tolvex::DownloadLockScreenView,
                                                          tolvex::DownloadDynamicIsland);
}

}  // namespace activities
