#pragma once

#include "platform/ui/color.hpp"
#include "platform/ui/environment.hpp"
#include "platform/ui/font.hpp"
#include "platform/ui/shape_style.hpp"
#include "platform/ui/view.hpp"

#include <optional>

namespace ui::layout::detail {

// What the environment modifiers above a view have set, as it flows down the tree.
struct EnvironmentValues {
  std::optional<Font> font;
  std::optional<int> lineLimit;
  double minimumScaleFactor = 1;
  std::optional<ShapeStyle> foreground;
  std::optional<AnyShapeStyle> tint;
  std::optional<Color> tintColor;
  // Set once for the whole tree by the host: no modifier changes it.
  DynamicTypeSize typeSize = DynamicTypeSize::large;
};

// Writes an environment modifier's value into `env`; false for any other modifier.
bool applyEnvironment(const Modifier& modifier, EnvironmentValues& env);

bool isEnvironment(const Modifier& modifier);

}  // namespace ui::layout::detail
