#include "platform/ui/font.hpp"

#include "platform/ui/number_text.hpp"

namespace ui {

std::string_view describe(Font::Weight weight) {
  switch (weight) {
    case Font::Weight::regular:
      return ".regular";
    case Font::Weight::medium:
      return ".medium";
    case Font::Weight::semibold:
      return ".semibold";
    case Font::Weight::bold:
      return ".bold";
  }
  return ".regular";
}

std::string Font::description() const {
  std::string text;
  if (style_) {
    static constexpr std::string_view names[] = {".headline", ".subheadline", ".footnote",
                                                 ".caption", ".caption2"};
    text = names[static_cast<int>(*style_)];
  } else {
    text = ".system(size: " + numberText(size_.value_or(0));
    if (systemWeight_ && *systemWeight_ != Weight::regular) {
      text += ", weight: ";
      text += describe(*systemWeight_);
    }
    text += ")";
  }
  if (weight_) {
    text += ".weight(";
    text += describe(*weight_);
    text += ")";
  }
  if (monospacedDigit_) text += ".monospacedDigit()";
  return text;
}

}  // namespace ui
