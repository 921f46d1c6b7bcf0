#pragma once

#include <array>
#include <span>
#include <string_view>
#include <utility>

namespace ui {

// The environment values the system sets around a view, which views may read and layout and
// drawing obey. They travel as values with each layout, never as state of the process.

// Which way a layout runs: right to left mirrors it (stacks from the right, leading on the right).
enum class LayoutDirection { leftToRight, rightToLeft };

// The direction of a locale's language ("ar", "he_IL", "fa-IR", "en"): right to left for the
// languages written so, left to right for any other, unknown or empty.
LayoutDirection layoutDirection(std::string_view locale);

// The user's text size, smallest first; `large` is the default.
enum class DynamicTypeSize {
  xSmall,
  small,
  medium,
  large,
  xLarge,
  xxLarge,
  xxxLarge,
  accessibility1,
  accessibility2,
  accessibility3,
  accessibility4,
  accessibility5,
};

inline constexpr std::array<DynamicTypeSize, 12> allDynamicTypeSizes{
    DynamicTypeSize::xSmall,         DynamicTypeSize::small,
    DynamicTypeSize::medium,         DynamicTypeSize::large,
    DynamicTypeSize::xLarge,         DynamicTypeSize::xxLarge,
    DynamicTypeSize::xxxLarge,       DynamicTypeSize::accessibility1,
    DynamicTypeSize::accessibility2, DynamicTypeSize::accessibility3,
    DynamicTypeSize::accessibility4, DynamicTypeSize::accessibility5};

// "xSmall", ..., "xxxLarge", "AX1", ..., "AX5", as the settings and the command line name them.
std::string_view dynamicTypeSizeName(DynamicTypeSize size);

// The size a Live Activity is shown at: `medium` on the phone and tablet, `small` on the watch's
// Smart Stack and the car's dashboard.
enum class ActivityFamily { small, medium };

// The values a surface sets for what it shows.
struct SurfaceEnvironment {
  // The Always-On display, or the watch on its wrist down.
  bool isLuminanceReduced = false;
  // StandBy's full screen.
  bool isActivityFullscreen = false;
  // False where the system extends the activity's own background to the whole surface.
  bool showsWidgetContainerBackground = true;
  ActivityFamily activityFamily = ActivityFamily::medium;

  friend bool operator==(const SurfaceEnvironment&, const SurfaceEnvironment&) = default;
};

}  // namespace ui
