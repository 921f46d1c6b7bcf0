#include "platform/ui/layout/padding_layout.hpp"

#include "platform/ui/layout/number_cleaning.hpp"

#include <algorithm>

namespace ui::layout::detail {
namespace {

// Negative padding grows the offer; padding larger than the offer leaves nothing.
std::optional<double> shrunk(std::optional<double> length, double by) {
  if (!length) return std::nullopt;
  return std::max(*length - by, 0.0);
}

}  // namespace

PaddingLayout::PaddingLayout(const PaddingModifier& padding, ProposedSize offer)
    : insets_{given(padding.insets.top, 0), given(padding.insets.leading, 0),
              given(padding.insets.bottom, 0), given(padding.insets.trailing, 0)},
      childOffer_{shrunk(offer.width, insets_.leading + insets_.trailing),
                  shrunk(offer.height, insets_.top + insets_.bottom)} {}

Size PaddingLayout::size(Size child) const noexcept {
  return {child.width + insets_.leading + insets_.trailing,
          child.height + insets_.top + insets_.bottom};
}

Point PaddingLayout::childPosition(Size, Size) const noexcept {
  return {insets_.leading, insets_.top};
}

}  // namespace ui::layout::detail
