#include "widget/extension/tolvex_widget_bundle.hpp"

namespace tolvex {

int main() {
  widgets::WidgetBundleMain<TolvexWidgetBundle>();
  return 0;
}

}  // namespace tolvex

// The record through which the extension machinery finds the module's entry.
const widgets::ExtensionEntry widgets::extensionEntry{&tolvex::main};
