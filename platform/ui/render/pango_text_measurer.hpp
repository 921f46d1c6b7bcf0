#pragma once

#include "platform/ui/layout/text_measurer.hpp"
#include "platform/ui/render/text_system.hpp"

namespace ui::render {

// Text measured as it will be drawn: Inter through Pango, line boxes as high as the published text
// styles say.
class PangoTextMeasurer final : public layout::TextMeasurer {
 public:
  explicit PangoTextMeasurer(const TextSystem& text) : text_(text) {}
  layout::TextLayout measure(const layout::TextRequest& request) const override;

 private:
  const TextSystem& text_;
};

// The face and the line height a font is drawn with at a scale.
struct DrawnFont {
  TextFont face;
  double lineHeight = 0;
};
DrawnFont resolveFont(const Font& font, double scale);

}  // namespace ui::render
