#pragma once

#include "widget/extension/download_live_activity_widget.hpp"
#include "widget/extension/platform.hpp"
#include "widget/extension/sign_live_activity_widget.hpp"

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

// The module's entry: serves the bundle for the life of the process.
int main();

}  // namespace tolvex
