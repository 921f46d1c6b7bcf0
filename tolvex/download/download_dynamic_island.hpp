#pragma once

#include "platform/widgets/activity_view_context.hpp"
#include "platform/widgets/dynamic_island.hpp"
#include "tolvex/model/download_live_activity_attributes.hpp"

namespace tolvex {

// The download activity's Dynamic Island: always blue; icon, file name, status and percent over
// a bar with the amounts and time left when expanded; icon and percent when compact.
widgets::DynamicIsland DownloadDynamicIsland(
    const widgets::ActivityViewContext<DownloadLiveActivityAttributes>& context);

}  // namespace tolvex
