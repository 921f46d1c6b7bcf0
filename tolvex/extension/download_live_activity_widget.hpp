#pragma once

#include "platform/widgets/activity_configuration.hpp"
#include "tolvex/download/download_dynamic_island.hpp"
#include "tolvex/download/download_lock_screen_view.hpp"

namespace tolvex {

// The download activity: its attributes with the Download Lock Screen card and Dynamic Island.
struct DownloadLiveActivityWidget {
  widgets::ActivityConfiguration<DownloadLiveActivityAttributes> body() const {
    // Both views give `progress` to their bars and decode the icon from `appIconBase64`.
    return {DownloadLockScreenView, DownloadDynamicIsland, {{"progress"}, {"appIconBase64"}}};
  }
};

}  // namespace tolvex
