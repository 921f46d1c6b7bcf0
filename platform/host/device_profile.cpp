#include "platform/host/device_profile.hpp"

#include <array>

namespace host {
namespace {

constexpr std::array<DeviceProfile, 2> kProfiles{{
    {"iphone-15-pro", 393, 852, 371, 230, 52.33, 371},
    {"iphone-15-pro-max", 430, 932, 408, 250, 62.33, 408},
}};

}  // namespace

std::span<const DeviceProfile> deviceProfiles() {
  return kProfiles;
}

const DeviceProfile* findDeviceProfile(std::string_view name) {
  for (const DeviceProfile& profile : kProfiles) {
    if (profile.name == name) return &profile;
  }
  return nullptr;
}

const DeviceProfile& defaultDeviceProfile() {
  return kProfiles[0];
}

}  // namespace host
