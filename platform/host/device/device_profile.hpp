#pragma once

#include <span>
#include <string_view>

namespace host {

// What a profile stands for: where an activity can be shown on it.
enum class DeviceKind {
  phone,      // Lock Screen, Dynamic Island (when it has one), StandBy, Always-On
  tablet,     // Lock Screen only
  watch,      // the Smart Stack
  dashboard,  // a car's dashboard
};

// A device's sizes for Live Activities, in points, and the chrome the device draws around them.
// A length of 0 means the device has no such place.
struct DeviceProfile {
  std::string_view name;
  DeviceKind kind;
  double screenWidth;  // as held for the Lock Screen (portrait, but a 13-inch iPad's landscape)
  double screenHeight;
  double lockScreenWidth;     // the Lock Screen presentation, 84 to 160 high
  double compactIslandWidth;  // the compact and minimal island
  double compactSideWidth;    // compact leading and trailing, each
  double expandedWidth;       // the expanded island, 84 to 160 high

  bool hasIsland() const { return compactIslandWidth > 0; }
};

// Phones and tablets, iphone-15-pro (the default) first: the devices that show the Lock Screen.
std::span<const DeviceProfile> deviceProfiles();
// Every profile of the one table: phones, tablets, then watches and dashboards.
std::span<const DeviceProfile> allDeviceProfiles();
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
