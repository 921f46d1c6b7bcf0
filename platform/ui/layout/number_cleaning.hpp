#pragma once

#include "platform/ui/layout/geometry.hpp"

#include <limits>
#include <optional>

namespace ui::layout::detail {

// Numbers reach layout from views and hosts that may give NaN, infinities, negative or huge
// values; they are made harmless where they enter, so that every frame answered is finite.

inline constexpr double infinity = std::numeric_limits<double>::infinity();

// Rounded to a millionth of a point, -0 as 0.
double snapped(double value);
Rect snapped(Point origin, Size size);

// A length a view answers: NaN and negative as 0, at most maxLength, snapped.
double answered(double value);
Size answered(Size size);

// An offered length: NaN as no offer, negative as 0; +infinity stays ("as much as you can take").
std::optional<double> offered(std::optional<double> value);
ProposedSize offered(ProposedSize proposal);

// A signed length given by a view (spacing, padding): NaN as `fallback`, within +-maxLength.
double given(double value, double fallback);

}  // namespace ui::layout::detail
