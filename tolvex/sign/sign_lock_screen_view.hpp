#pragma once

#include "platform/ui/view.hpp"
#include "platform/widgets/activity_view_context.hpp"
#include "tolvex/model/sign_live_activity_attributes.hpp"

namespace tolvex {

// The signing activity's Lock Screen card: icon (when one decodes), app name, status line toned
// by the outcome with the percent, a progress bar in the same tone, and the detail line.
ui::View SignLockScreenView(
    const widgets::ActivityViewContext<SignLiveActivityAttributes>& context);

}  // namespace tolvex
