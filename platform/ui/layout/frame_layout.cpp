#include "platform/ui/layout/frame_layout.hpp"

#include "platform/ui/layout/number_cleaning.hpp"
#include "platform/ui/layout/placement.hpp"

#include <cmath>

namespace ui::layout::detail {
namespace {

// A frame length: NaN as none; +infinity as the offer where that is finite, else none (the
// child's); negative as 0.
std::optional<double> frameLength(std::optional<double> asked, std::optional<double> offer) {
  if (!asked || std::isnan(*asked)) return std::nullopt;
  if (*asked == infinity) {
    return offer && std::isfinite(*offer) ? offer : std::nullopt;
  }
  return answered(*asked);
}

}  // namespace

FrameLayout::FrameLayout(const FrameModifier& frame, ProposedSize offer)
    : width_(frameLength(frame.width, offer.width)),
      height_(frameLength(frame.height, offer.height)),
      alignment_(frame.alignment),
      childOffer_{width_ ? width_ : offer.width, height_ ? height_ : offer.height} {}

Size FrameLayout::size(Size child) const noexcept {
  return {width_.value_or(child.width), height_.value_or(child.height)};
}

Point FrameLayout::childPosition(Size size, Size child) const noexcept {
  return aligned(alignment_, size, child);
}

}  // namespace ui::layout::detail
