#include "platform/host/device/device_profile.hpp"

#include <array>

namespace host {

std::span<const DeviceProfile> deviceProfiles() {
  static constexpr std::array<DeviceProfile, 2> profiles{{
      {"iphone-15-pro", 393, 852, 371, 230, 52.33, 371},
      {"iphone-15-pro-max", 430, 932, 408, 250, 62.33, 408},
  }};
  return profiles;
}

const DeviceProfile& defaultDeviceProfile() {
  return deviceProfiles().front();
}

const DeviceProfile* findDeviceProfile(std::string_view name) {
  for (const DeviceProfile& profile : deviceProfiles()) {
    if (profile.name == name) return &profile;
  }
  return nullptr;
}

}  // namespace host
