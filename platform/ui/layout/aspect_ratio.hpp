#pragma once

#include "platform/ui/layout/geometry.hpp"
#include "platform/ui/view.hpp"

#include <optional>

namespace ui::layout::detail {

// The ratio (width / height) an aspectRatio modifier asks for: its own where that is a positive
// number, else that of the view's ideal size, else 1.
double ratioOf(std::optional<double> asked, Size ideal);

// The box an aspect ratio works in: the offer, a missing dimension made from the other by the
// ratio, or `ideal` where nothing is offered.
Size ratioBox(double ratio, ProposedSize offer, Size ideal);

// The largest box of aspect ratio `ratio` inside `box` (fit), or the smallest around it (fill).
Size withRatio(double ratio, ContentMode mode, Size box);

}  // namespace ui::layout::detail
