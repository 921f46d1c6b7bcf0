#include "platform/ui/layout/aspect_ratio.hpp"

#include <cmath>

namespace ui::layout::detail {

double ratioOf(std::optional<double> asked, Size ideal) {
  if (asked && std::isfinite(*asked) && *asked > 0) return *asked;
  if (ideal.width > 0 && ideal.height > 0) return ideal.width / ideal.height;
  return 1;
}

Size ratioBox(double ratio, ProposedSize offer, Size ideal) {
  if (!offer.width && !offer.height) return ideal;
  const double width = offer.width ? *offer.width : *offer.height * ratio;
  const double height = offer.height ? *offer.height : *offer.width / ratio;
  return {width, height};
}

Size withRatio(double ratio, ContentMode mode, Size box) {
  const bool wider = box.width > box.height * ratio;
  const bool byHeight = mode == ContentMode::fit ? wider : !wider;
  return byHeight ? Size{box.height * ratio, box.height} : Size{box.width, box.width / ratio};
}

}  // namespace ui::layout::detail
