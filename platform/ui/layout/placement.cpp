#include "platform/ui/layout/placement.hpp"

namespace ui::layout::detail {

double aligned(HorizontalAlignment alignment, double room) {
  switch (alignment) {
    case HorizontalAlignment::leading:
      return 0;
    case HorizontalAlignment::center:
      return room / 2;
    case HorizontalAlignment::trailing:
      return room;
  }
  return room / 2;
}

double aligned(VerticalAlignment alignment, double room) {
  switch (alignment) {
    case VerticalAlignment::top:
      return 0;
    case VerticalAlignment::center:
      return room / 2;
    case VerticalAlignment::bottom:
      return room;
  }
  return room / 2;
}

Point aligned(Alignment alignment, Size outer, Size inner) {
  return {aligned(horizontal(alignment), outer.width - inner.width) + 0.0,
          aligned(vertical(alignment), outer.height - inner.height) + 0.0};
}

}  // namespace ui::layout::detail
