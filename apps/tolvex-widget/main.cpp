#include "platform/host/command_line.hpp"
#include "platform/widgets/extension_main.hpp"

// Nothing of the extension runs before the extension machinery starts it.
int main(int argc, char** argv) { return widgets::NSExtensionMain(argc, argv, host::serve); }
