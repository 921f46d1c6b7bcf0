#include "demo_samples.hpp"
#include "platform/host/command_line.hpp"
#include "platform/widgets/extension_main.hpp"

namespace {

int serve(int argc, const char* const* argv, std::span<const widgets::ActivityType> types) {
  return host::serve(argc, argv, types, samples::demo());
}

}  // namespace

// Nothing of the extension runs before the extension machinery starts it.
int main(int argc, char** argv) {
  return widgets::NSExtensionMain(argc, argv, serve);
}
