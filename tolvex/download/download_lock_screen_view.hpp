#pragma once

#include "platform/ui/view.hpp"
#include "platform/widgets/activity_view_context.hpp"
#include "tolvex/model/download_live_activity_attributes.hpp"

namespace tolvex {

// The download activity's Lock Screen card: icon or placeholder tile, file name, status and
// percent, time left, a blue progress bar, and the amounts transferred and in total.
ui::View DownloadLockScreenView(
    const widgets::ActivityViewContext<DownloadLiveActivityAttributes>& context);

// The transfer line's localizable key: the two amounts joined by " / ".
ui::LocalizedStringKey transferLine(const DownloadLiveActivityAttributes::ContentState& state);

}  // namespace tolvex
