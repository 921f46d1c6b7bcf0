#pragma once

#include "platform/widgets/activity_type.hpp"
#include "platform/widgets/system_version.hpp"

#include <vector>

namespace widgets {

// A module's bundle as the extension machinery knows it: the activity types it registers on a
// given system, in registration order.
using BundleRegistration = std::vector<ActivityType> (*)(SystemVersion system);

// The host that serves a module: given the process arguments and the module's registration, it
// learns the system it runs as, registers the bundle for it, and returns the exit status.
using WidgetHost = int (*)(int argc, const char* const* argv, BundleRegistration registration);

// The executable's entry: hands the module's bundle to the host. Nothing of the module runs
// before the host asks for its registration, and nothing is kept between the two.
int NSExtensionMain(int argc, char** argv, BundleRegistration registration, WidgetHost host);

}  // namespace widgets
