#pragma once

#include <span>
#include <string_view>

namespace host {

// A phone's sizes for Live Activities, in points, and the chrome the phone draws around them.
struct DeviceProfile {
  std::string_view name;
  double screenWidth;
  double screenHeight;
  double lockScreenWidth;     // the Lock Screen presentation, 84 to 160 high
  double compactIslandWidth;  // the compact and minimal island
  double compactSideWidth;    // compact leading and trailing, each
  double expandedWidth;       // the expanded island, 84 to 160 high
};

// iphone-15-pro (the default) first.
std::span<const DeviceProfile> deviceProfiles();
const DeviceProfile& defaultDeviceProfile();
// The profile of that name, or nothing.
const DeviceProfile* findDeviceProfile(std::string_view name);

inline constexpr double presentationMinHeight = 84;
inline constexpr double presentationMaxHeight = 160;
inline constexpr double compactHeight = 36.67;
inline constexpr double minimalMinWidth = 36.67;
inline constexpr double minimalMaxWidth = 45;
inline constexpr double cameraWidth = 126;
inline constexpr double cameraHeight = 37.33;
inline constexpr double cameraTop = 11;
inline constexpr double lockScreenInset = 11;
inline constexpr double islandCornerRadius = 44;
// Chosen: the Lock Screen container's corners, the expanded island's inner margin, the keyline.
inline constexpr double lockScreenCornerRadius = 22;
inline constexpr double expandedMargin = 8;
inline constexpr double keylineWidth = 1;

}  // namespace host
