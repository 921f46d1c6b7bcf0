#include "platform/widgets/extension_main.hpp"

#include "platform/widgets/system_version.hpp"
#include "platform/widgets/widget_bundle.hpp"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string_view>

namespace widgets {
namespace {

struct Launch {
  int argc = 0;
  const char* const* argv = nullptr;
  WidgetHost host = nullptr;
};

Launch& launch() {
  static Launch value;
  return value;
}

// The version comes before anything else reads it, so it is taken from the arguments here; the
// host's own parser accepts and documents the same option.
std::optional<std::string_view> systemVersionArgument(int argc, char** argv) {
  constexpr std::string_view option = "--system-version";
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == option) return i + 1 < argc ? std::string_view(argv[i + 1]) : "";
    if (argument.starts_with(option) && argument.size() > option.size() &&
        argument[option.size()] == '=') {
      return argument.substr(option.size() + 1);
    }
    if (!argument.starts_with("-")) break;  // the command: options after it are its own
  }
  return std::nullopt;
}

}  // namespace

int NSExtensionMain(int argc, char** argv, WidgetHost host) {
  if (const auto text = systemVersionArgument(argc, argv)) {
    const auto version = SystemVersion::parse(*text);
    if (!version) {
      std::cerr << "error: usage: --system-version wants MAJOR[.MINOR[.PATCH]], such as 17.4, "
                   "not '"
                << *text << "'\n";
      return 2;
    }
    detail::setLaunchSystemVersion(*version);
  }
  launch() = Launch{argc, argv, host};
  return extensionEntry.main();
}

void serveWidgets(std::vector<ActivityType> types) {
  const Launch& started = launch();
  int status = 3;
  if (started.host == nullptr) {
    std::cerr << "error: internal: widgets served without the extension machinery\n";
  } else {
    status = started.host(started.argc, started.argv, types);
  }
  std::cout.flush();
  std::exit(status);
}

}  // namespace widgets
