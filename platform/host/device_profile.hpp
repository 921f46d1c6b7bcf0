#pragma once

#include <span>
#include <string_view>

namespace host {

// A phone's published sizes for drawing Live Activities, in points.
struct DeviceProfile {
  std::string_view name;
  double screenWidth;
  double screenHeight;
  double lockScreenWidth;     // the Lock Screen presentation, 84 to 160 high
  double compactIslandWidth;  // the compact and minimal island
  double compactSideWidth;    // compact leading and trailing, each
  double expandedWidth;       // the expanded island, 84 to 160 high
};

inline constexpr double kPresentationMinHeight = 84;
inline constexpr double kPresentationMaxHeight = 160;
inline constexpr double kCompactHeight = 36.67;
inline constexpr double kMinimalMinWidth = 36.67;
inline constexpr double kMinimalMaxWidth = 45;
inline constexpr double kCameraWidth = 126;
inline constexpr double kCameraHeight = 37.33;
inline constexpr double kCameraTop = 11;
inline constexpr double kLockScreenInset = 11;
// Chosen where nothing is published: the Lock Screen container's corners, the expanded island's
// inner margin, the keyline's width.
inline constexpr double kLockScreenCornerRadius = 22;
inline constexpr double kExpandedMargin = 8;
inline constexpr double kIslandCornerRadius = 44;
inline constexpr double kKeylineWidth = 1;

std::span<const DeviceProfile> deviceProfiles();
// The profile of that name, or nothing.
const DeviceProfile* findDeviceProfile(std::string_view name);
const DeviceProfile& defaultDeviceProfile();

}  // namespace host
