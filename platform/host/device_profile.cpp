#include "platform/host/device_profile.hpp"

namespace host {

const DeviceProfile* findDeviceProfile(std::string_view name) {
  for (const DeviceProfile& profile : deviceProfiles()) {
    if (profile.name == name) return &profile;
  }
  return nullptr;
}

const DeviceProfile& defaultDeviceProfile() {
  return deviceProfiles().front();
}

}  // namespace host
