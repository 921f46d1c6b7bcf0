#include "platform/host/device/device_profile.hpp"

#include <array>

namespace host {
namespace {

// Published sizes; the Lock Screen width of the phones after the 15 Pro is chosen as their
// expanded island's width, and the 375-point phone's as its screen less 10 a side. A watch's
// and a dashboard's screen is the size of the activity's card there.
constexpr std::array<DeviceProfile, 16> profiles{{
    {"iphone-15-pro", DeviceKind::phone, 393, 852, 371, 230, 52.33, 371},
    {"iphone-15-pro-max", DeviceKind::phone, 430, 932, 408, 250, 62.33, 408},
    {"iphone-17-pro", DeviceKind::phone, 402, 874, 371, 230, 52.33, 371},
    {"iphone-17-pro-max", DeviceKind::phone, 440, 956, 408, 250, 62.33, 408},
    {"iphone-air", DeviceKind::phone, 420, 912, 408, 250, 62.33, 408},
    // No Dynamic Island: a notch.
    {"iphone-13-mini", DeviceKind::phone, 375, 812, 355, 0, 0, 0},
    {"ipad-13", DeviceKind::tablet, 1366, 1024, 500, 0, 0, 0},
    {"ipad-11", DeviceKind::tablet, 1194, 834, 425, 0, 0, 0},
    {"watch-45mm", DeviceKind::watch, 184, 80.5, 0, 0, 0, 0},
    {"watch-40mm", DeviceKind::watch, 152, 69.5, 0, 0, 0, 0},
    {"watch-41mm", DeviceKind::watch, 165, 72.5, 0, 0, 0, 0},
    {"watch-44mm", DeviceKind::watch, 173, 76.5, 0, 0, 0, 0},
    {"watch-49mm", DeviceKind::watch, 191, 81.5, 0, 0, 0, 0},
    {"carplay-240x78", DeviceKind::dashboard, 240, 78, 0, 0, 0, 0},
    {"carplay-240x100", DeviceKind::dashboard, 240, 100, 0, 0, 0, 0},
    {"carplay-170x78", DeviceKind::dashboard, 170, 78, 0, 0, 0, 0},
}};
constexpr std::size_t phonesAndTablets = 8;

}  // namespace

std::span<const DeviceProfile> deviceProfiles() {
  return std::span(profiles).first(phonesAndTablets);
}

std::span<const DeviceProfile> allDeviceProfiles() {
  return profiles;
}

const DeviceProfile& defaultDeviceProfile() {
  return profiles.front();
}

const DeviceProfile* findDeviceProfile(std::string_view name) {
  for (const DeviceProfile& profile : profiles) {
    if (profile.name == name) return &profile;
  }
  return nullptr;
}

}  // namespace host
