#pragma once

#include "platform/widgets/activity_configuration.hpp"
#include "tolvex/download/download_dynamic_island.hpp"
#include "tolvex/download/download_lock_screen_view.hpp"

namespace tolvex {

// The download activity: its attributes with the Download Lock Screen card and Dynamic Island.
struct DownloadLiveActivityWidget {
  widgets::ActivityConfiguration<DownloadLiveActivityAttributes> body() const {
    return {DownloadLockScreenView, DownloadDynamicIsland};
  }
};

}  // namespace tolvex
