#pragma once

#include "platform/ui/layout/text_measurer.hpp"
#include "platform/ui/render/text_system.hpp"

#include <string>
#include <unordered_map>

namespace ui::render {

// Text measured as it will be drawn: Inter through Pango, line boxes as high as the published text
// styles say.
// Layout asks the same question several times over (each stack sizes its children at no room, at
// all the room and at their share), and a sheet lays the same views out for each appearance, so
// answers are kept, up to a bound. Like the text system, one measurer serves one thread.
class PangoTextMeasurer final : public layout::TextMeasurer {
 public:
  explicit PangoTextMeasurer(const TextSystem& text) : text_(text) {}
  layout::TextLayout measure(const layout::TextRequest& request) const override;

 private:
  layout::TextLayout measureUncached(const layout::TextRequest& request) const;

  const TextSystem& text_;
  mutable std::unordered_map<std::string, layout::TextLayout> answers_;
};

}  // namespace ui::render
