#include "tolvex/extension/tolvex_widget_bundle.hpp"

namespace tolvex {

std::vector<widgets::ActivityType> registeredActivities(widgets::SystemVersion system) {
  return widgets::registeredActivities(TolvexWidgetBundle{}, system);
}

}  // namespace tolvex
