#pragma once

#include "widget/download/download_dynamic_island.hpp"
#include "widget/download/download_lock_screen_view.hpp"
#include "widget/extension/platform.hpp"

namespace tolvex {

// The download activity: its attributes with the Download Lock Screen card and Dynamic Island.
struct DownloadLiveActivityWidget {
  widgets::ActivityConfiguration<DownloadLiveActivityAttributes> body() const {
    return {DownloadLockScreenView, DownloadDynamicIsland};
  }
};

}  // namespace tolvex
