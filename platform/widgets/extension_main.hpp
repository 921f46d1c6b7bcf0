#pragma once

#include "platform/widgets/activity_type.hpp"

#include <span>
#include <vector>

namespace widgets {

// The host that serves a bundle's registered activities: given the process arguments and the
// types, it returns the process's exit status.
using WidgetHost = int (*)(int argc, const char* const* argv, std::span<const ActivityType> types);

// How the extension machinery finds the module: the module defines one entry record, naming its
// entry function, under this name.
struct ExtensionEntry {
  int (*main)();
};
extern const ExtensionEntry extensionEntry;

// The executable's entry. Learns the system version (--system-version, else the default), then
// calls the module's entry function through the entry record; the bundle it serves is handed to
// `host`. Returns the process's exit status.
int NSExtensionMain(int argc, char** argv, WidgetHost host);

}  // namespace widgets
