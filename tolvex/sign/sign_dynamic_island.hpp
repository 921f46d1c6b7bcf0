#pragma once

#include "platform/widgets/activity_view_context.hpp"
#include "platform/widgets/dynamic_island.hpp"
#include "tolvex/model/sign_live_activity_attributes.hpp"

namespace tolvex {

// The signing activity's Dynamic Island: status and percent over the app name, detail and a
// toned bar when expanded; the icon or the status badge, and the percent, when compact.
widgets::DynamicIsland SignDynamicIsland(
    const widgets::ActivityViewContext<SignLiveActivityAttributes>& context);

}  // namespace tolvex
