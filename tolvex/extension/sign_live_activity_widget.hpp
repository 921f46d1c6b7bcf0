#pragma once

#include "platform/widgets/activity_configuration.hpp"
#include "tolvex/sign/sign_dynamic_island.hpp"
#include "tolvex/sign/sign_lock_screen_view.hpp"

namespace tolvex {

// The signing activity: its attributes with the Sign Lock Screen card and Dynamic Island.
struct SignLiveActivityWidget {
  widgets::ActivityConfiguration<SignLiveActivityAttributes> body() const {
    // Both views give `progress` to their bars and decode the icon from `appIconBase64`.
    return {SignLockScreenView, SignDynamicIsland, {{"progress"}, {"appIconBase64"}}};
  }
};

}  // namespace tolvex
