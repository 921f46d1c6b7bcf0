#include "platform/ui/layout/number_cleaning.hpp"

#include "platform/ui/layout/layout.hpp"

#include <algorithm>
#include <cmath>

namespace ui::layout::detail {

// A millionth of a point is far below a pixel, and makes a sum come out the same whichever way it
// was added up (a stack that takes exactly its offer answers the offer, not one rounding error
// more). Adding 0.0 turns -0 into 0.
double snapped(double value) {
  return std::round(value * 1e6) / 1e6 + 0.0;
}

Rect snapped(Point origin, Size size) {
  return {snapped(origin.x), snapped(origin.y), snapped(size.width), snapped(size.height)};
}

double answered(double value) {
  if (!(value > 0)) return 0;
  return snapped(std::min(value, maxLength));
}

Size answered(Size size) {
  return {answered(size.width), answered(size.height)};
}

std::optional<double> offered(std::optional<double> value) {
  if (!value || std::isnan(*value)) return std::nullopt;
  return *value > 0 ? *value : 0.0;
}

ProposedSize offered(ProposedSize proposal) {
  return {offered(proposal.width), offered(proposal.height)};
}

double given(double value, double fallback) {
  if (std::isnan(value)) return fallback;
  return std::clamp(value, -maxLength, maxLength) + 0.0;
}

}  // namespace ui::layout::detail
