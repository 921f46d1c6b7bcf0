#include "platform/ui/shape_style.hpp"

namespace ui {

std::string describe(const ShapeStyle& style) {
  if (const auto* color = std::get_if<Color>(&style)) return color->description();
  return std::get<HierarchicalShapeStyle>(style) == HierarchicalShapeStyle::primary ? ".primary"
                                                                                  : ".secondary";
}

std::string describe(const AnyShapeStyle& style) {
  return "AnyShapeStyle(" + describe(style.style) + ")";
}

}  // namespace ui
