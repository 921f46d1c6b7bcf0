#pragma once

#include "platform/ui/layout/text_measurer.hpp"

namespace ui::layout {

// A deterministic measurer for tests, with no fonts behind it: every code point (the ellipsis
// too) is 0.6 x the point size wide; a line is as high as the text style's published line height,
// or 1.2 x the point size for a system font of a size; both times the scale. Words are separated
// by spaces (U+0020) only. Spaces at a wrap are dropped; a paragraph's leading spaces are kept.
// Linear in the text's length, and it stops reading once a line limit is exceeded.
class FakeTextMeasurer final : public TextMeasurer {
 public:
  TextLayout measure(const TextRequest& request) const override;

  // The width of one code point and the height of one line for a request.
  static double advance(const TextRequest& request);
  static double lineHeight(const TextRequest& request);
};

}  // namespace ui::layout
