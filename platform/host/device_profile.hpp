#pragma once

#include "platform/ui/platform_metrics.hpp"

#include <string_view>

namespace host {

using ui::DeviceProfile;
using ui::deviceProfiles;

// The profile of that name, or nothing.
const DeviceProfile* findDeviceProfile(std::string_view name);
// iphone-15-pro.
const DeviceProfile& defaultDeviceProfile();

}  // namespace host
