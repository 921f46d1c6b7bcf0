#pragma once

#include "platform/ui/environment.hpp"
#include "platform/ui/font.hpp"
#include "platform/ui/layout/geometry.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ui::layout {

struct TextRequest {
  std::string_view text;
  ui::Font font;
  double scale = 1;
  std::optional<double> maxWidth;
  std::optional<int> lineLimit;
  // A text style's size follows it; a system font of a size does not.
  ui::DynamicTypeSize typeSize = ui::DynamicTypeSize::large;
};

struct TextLayout {
  Size size;
  std::vector<std::string> lines;
  bool truncated = false;
  // The characters of the text that no font draws (shown as boxes), each once, in text order.
  std::vector<char32_t> missingCharacters;
};

// The one thing layout asks of the outside world. A measurer lays `text` out at the font's size
// times `scale`:
// - with `maxWidth`, it wraps at word boundaries, breaking inside a word only where that word
//   alone is wider than `maxWidth`;
// - without, every '\n'-separated paragraph is one line;
// - with `lineLimit`, it keeps at most that many lines (at least one) and, when it cuts text
//   off, sets `truncated` and ends the last kept line with "…" (U+2026), shortened so that it fits
//   `maxWidth` (only an ellipsis wider than `maxWidth` by itself overflows).
// `size` is the widest line by the number of lines times the line height; an empty text is zero
// wide and one line high. A measurer must take time linear in the text's length and must not
// throw for any input.
class TextMeasurer {
 public:
  virtual ~TextMeasurer() = default;
  virtual TextLayout measure(const TextRequest& request) const = 0;
};

}  // namespace ui::layout
