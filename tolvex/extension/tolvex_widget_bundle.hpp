#pragma once

#include "platform/widgets/widget_bundle.hpp"
#include "tolvex/extension/download_live_activity_widget.hpp"
#include "tolvex/extension/sign_live_activity_widget.hpp"

namespace tolvex {

// The extension's widgets: the download activity, then the signing activity, together in one
// group that exists from iOS 16.1 on.
struct TolvexWidgetBundle {
  auto body() const {
    using Builder = widgets::WidgetBundleBuilder;
    return Builder::buildBlock(Builder::buildLimitedAvailability(
        widgets::SystemVersion{16, 1, 0},
        Builder::buildBlock(DownloadLiveActivityWidget{}, SignLiveActivityWidget{})));
  }
};

// The module's entry: the activity types the bundle registers on a system, in registration order.
std::vector<widgets::ActivityType> registeredActivities(widgets::SystemVersion system);

}  // namespace tolvex
