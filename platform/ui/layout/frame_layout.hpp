#pragma once

#include "platform/ui/layout/geometry.hpp"
#include "platform/ui/view.hpp"

#include <optional>

namespace ui::layout::detail {

// A frame modifier in an offer: it offers its view its own width and height where it has them
// (the offer where not), answers them (the view's where not), and aligns the view inside. Sizing
// and placing both read it, so the two cannot disagree.
class FrameLayout {
 public:
  FrameLayout(const FrameModifier& frame, ProposedSize offer);

  ProposedSize childOffer() const noexcept { return childOffer_; }
  Size size(Size child) const noexcept;
  // The child's origin relative to the frame's, for the frame's answered `size`.
  Point childPosition(Size size, Size child) const noexcept;

 private:
  std::optional<double> width_;
  std::optional<double> height_;
  Alignment alignment_;
  ProposedSize childOffer_;
};

}  // namespace ui::layout::detail
