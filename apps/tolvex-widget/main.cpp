#include "demo_samples.hpp"
#include "platform/host/command_line.hpp"
#include "platform/widgets/extension_main.hpp"
#include "tolvex/extension/tolvex_widget_bundle.hpp"

namespace {

int runHost(int argc, const char* const* argv, widgets::BundleRegistration registration) {
  return host::runHost(argc, argv, registration, samples::demo());
}

}  // namespace

int main(int argc, char** argv) {
  return widgets::NSExtensionMain(argc, argv, tolvex::registeredActivities, runHost);
}
