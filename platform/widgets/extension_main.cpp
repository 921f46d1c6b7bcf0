#include "platform/widgets/extension_main.hpp"

#include <iostream>

namespace widgets {

int NSExtensionMain(int argc, char** argv, BundleRegistration registration, WidgetHost host) {
  if (registration == nullptr || host == nullptr) {
    std::cerr << "error: internal: the extension was started without its bundle or host\n";
    return 3;
  }
  const int status = host(argc, argv, registration);
  std::cout.flush();
  return status;
}

}  // namespace widgets
