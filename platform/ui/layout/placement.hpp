#pragma once

#include "platform/ui/alignment.hpp"
#include "platform/ui/layout/geometry.hpp"

namespace ui::layout::detail {

// How far into `room` (the parent's length less the child's) an alignment puts a child; negative
// room puts an overflowing child out past the leading or top edge.
double aligned(HorizontalAlignment alignment, double room);
double aligned(VerticalAlignment alignment, double room);

// Where a child of size `inner` goes inside `outer`, aligned; negative when it overflows.
Point aligned(Alignment alignment, Size outer, Size inner);

inline Point offset(Point origin, Point by) {
  return {origin.x + by.x, origin.y + by.y};
}

}  // namespace ui::layout::detail
