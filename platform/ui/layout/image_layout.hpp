#pragma once

#include "platform/ui/layout/layout_tree.hpp"
#include "platform/ui/layout/view_ref.hpp"

namespace ui::layout::detail {

struct SizedImage {
  Size size;
  Image payload;  // imageRect relative to the node's origin
};

// An image node in `offer`: a fixed image at its pixel size (a symbol at its font's), a resizable
// one at the offer, and under aspectRatio fitted into or filling the offer.
SizedImage sizeImage(const ViewRef& node, ProposedSize offer);

}  // namespace ui::layout::detail
