#pragma once

#include <string>

namespace ui {

// Which edges a padding applies to.
enum class EdgeSet { all, horizontal, vertical, top, leading, bottom, trailing };

std::string_view describe(EdgeSet edges);

struct EdgeInsets {
  double top = 0;
  double leading = 0;
  double bottom = 0;
  double trailing = 0;

  // The insets a padding of `length` on `edges` adds.
  static EdgeInsets on(EdgeSet edges, double length);
  std::string description() const;

  friend bool operator==(const EdgeInsets&, const EdgeInsets&) = default;
};

}  // namespace ui
