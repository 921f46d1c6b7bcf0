#pragma once

#include "platform/ui/edge_insets.hpp"
#include "platform/ui/layout/geometry.hpp"
#include "platform/ui/view.hpp"

namespace ui::layout::detail {

// A padding modifier in an offer: it offers its view the offer less its insets, answers the
// view's size plus them, and puts the view in by the leading and top insets. Sizing and placing
// both read it, so the two cannot disagree.
class PaddingLayout {
 public:
  PaddingLayout(const PaddingModifier& padding, ProposedSize offer);

  ProposedSize childOffer() const noexcept { return childOffer_; }
  Size size(Size child) const noexcept;
  // The child's origin relative to the padding's, for the padding's answered `size`.
  Point childPosition(Size size, Size child) const noexcept;

 private:
  EdgeInsets insets_;
  ProposedSize childOffer_;
};

}  // namespace ui::layout::detail
