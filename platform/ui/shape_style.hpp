#pragma once

#include "platform/ui/color.hpp"

#include <string>
#include <variant>

namespace ui {

// The hierarchical styles: the foreground at a level of emphasis.
enum class HierarchicalShapeStyle { primary, secondary };

// A shape style: a colour or a hierarchical style.
using ShapeStyle = std::variant<Color, HierarchicalShapeStyle>;

// A type-erased shape style, as the `tint` environment value holds it.
struct AnyShapeStyle {
  ShapeStyle style;

  friend bool operator==(const AnyShapeStyle&, const AnyShapeStyle&) = default;
};

// ".secondary", ".green", ".blue.opacity(0.16)".
std::string describe(const ShapeStyle& style);
// "AnyShapeStyle(.green)".
std::string describe(const AnyShapeStyle& style);

}  // namespace ui
