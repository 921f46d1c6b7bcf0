#pragma once

#include "platform/ui/number_text.hpp"

#include <optional>
#include <string>

namespace ui::layout {

// Lengths are points; the origin is the top-left corner of the laid-out root, y grows downwards.

struct Size {
  double width = 0;
  double height = 0;

  // "(width, height)"
  std::string description() const {
    return "(" + numberText(width) + ", " + numberText(height) + ")";
  }
  friend bool operator==(const Size&, const Size&) = default;
};

struct Point {
  double x = 0;
  double y = 0;

  // "(x, y)"
  std::string description() const { return "(" + numberText(x) + ", " + numberText(y) + ")"; }
  friend bool operator==(const Point&, const Point&) = default;
};

struct Rect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;

  Point origin() const noexcept { return {x, y}; }
  Size size() const noexcept { return {width, height}; }

  // "(x, y, width, height)"
  std::string description() const {
    return "(" + numberText(x) + ", " + numberText(y) + ", " + numberText(width) + ", " +
           numberText(height) + ")";
  }
  friend bool operator==(const Rect&, const Rect&) = default;
};

// What a parent offers a child, per dimension: nothing asks for the child's ideal length, 0 for
// its minimum, +infinity for its maximum, anything else for a fit into that length.
struct ProposedSize {
  std::optional<double> width;
  std::optional<double> height;

  // "(371, nil)", "(inf, 0)"
  std::string description() const {
    const auto text = [](const std::optional<double>& value) {
      return value ? numberText(*value) : std::string("nil");
    };
    return "(" + text(width) + ", " + text(height) + ")";
  }
  friend bool operator==(const ProposedSize&, const ProposedSize&) = default;
};

}  // namespace ui::layout
