#include "support/fake_text_measurer.hpp"

#include "platform/ui/platform_metrics.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace ui::layout {
namespace {

constexpr std::size_t unlimited = std::numeric_limits<std::size_t>::max();
constexpr std::string_view ellipsis = "\u2026";

bool startsCodePoint(char byte) {
  return (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
}

// A line as a byte range of the text and its number of code points.
struct Span {
  std::size_t begin;
  std::size_t end;
  std::size_t count;
};

// `count` code points at `unit` (point size x scale) each 0.6 x unit wide, computed so that a whole
// number of points gives the double nearest to the exact width.
double widthOf(std::size_t count, double unit) {
  return static_cast<double>(count) * unit * 6 / 10;
}

double sanitizedScale(double scale) {
  return std::isfinite(scale) && scale >= 0 ? scale : 1;
}

// The byte offset `count` code points after `begin`, stopping at `end`; `taken` gets how many
// code points that is.
std::size_t skipCodePoints(std::string_view text, std::size_t begin, std::size_t end,
                           std::size_t count, std::size_t& taken) {
  taken = 0;
  std::size_t i = begin;
  while (i < end && taken < count) {
    ++i;
    while (i < end && !startsCodePoint(text[i])) ++i;
    ++taken;
  }
  return i;
}

std::size_t countCodePoints(std::string_view text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), startsCodePoint));
}

// Greedy wrapping of one paragraph into lines of at most `perLine` code points (at least one),
// appending to `lines` until `limit` lines are kept; `more` tells that text was left over.
class Wrapper {
 public:
  Wrapper(std::string_view text, std::size_t perLine, std::size_t limit, std::vector<Span>& lines)
      : text_(text), perLine_(std::max<std::size_t>(perLine, 1)), limit_(limit), lines_(lines) {}

  bool more() const noexcept { return more_; }

  // Returns false once the limit cut the text off.
  bool paragraph(std::size_t begin, std::size_t end) {
    if (perLine_ == unlimited)
      return emit({begin, end, countCodePoints(text_.substr(begin, end - begin))});
    bool first = true;
    bool open = false;
    Span line{begin, begin, 0};
    std::size_t i = begin;
    while (i < end) {
      const std::size_t spacesBegin = i;
      std::size_t spaces = 0;
      while (i < end && text_[i] == ' ') ++i, ++spaces;
      const std::size_t wordBegin = i;
      std::size_t word = 0;
      for (; i < end && text_[i] != ' '; ++i) word += startsCodePoint(text_[i]) ? 1 : 0;
      if (open && line.count + spaces + word <= perLine_) {
        line.end = i;
        line.count += spaces + word;
        continue;
      }
      if (open) {
        if (!emit(line)) return false;
        open = false;
      }
      // A new line: the paragraph's leading spaces belong to it, the spaces at a wrap do not.
      Span start = first ? Span{spacesBegin, i, spaces + word} : Span{wordBegin, i, word};
      first = false;
      if (start.count == 0) continue;
      // A word wider than a line breaks inside itself.
      while (start.count > perLine_) {
        std::size_t taken = 0;
        const std::size_t cut = skipCodePoints(text_, start.begin, start.end, perLine_, taken);
        if (!emit({start.begin, cut, taken})) return false;
        start = {cut, start.end, start.count - taken};
      }
      line = start;
      open = true;
    }
    if (open) return emit(line);
    if (first) return emit({begin, begin, 0});
    return true;
  }

  bool emit(const Span& line) {
    if (lines_.size() >= limit_) {
      more_ = true;
      return false;
    }
    lines_.push_back(line);
    return true;
  }

 private:
  std::string_view text_;
  std::size_t perLine_;
  std::size_t limit_;
  std::vector<Span>& lines_;
  bool more_ = false;
};

}  // namespace

double FakeTextMeasurer::advance(const TextRequest& request) {
  return widthOf(1,
                 resolve(request.font, request.typeSize).pointSize * sanitizedScale(request.scale));
}

double FakeTextMeasurer::lineHeight(const TextRequest& request) {
  const ResolvedFont font = resolve(request.font, request.typeSize);
  // A text style's own point size is the table's, so its published line height applies as is.
  const double unscaled = font.styleLineHeight ? *font.styleLineHeight : font.pointSize * 12 / 10;
  return unscaled * sanitizedScale(request.scale);
}

TextLayout FakeTextMeasurer::measure(const TextRequest& request) const {
  const std::string_view text = request.text;
  const double unit =
      resolve(request.font, request.typeSize).pointSize * sanitizedScale(request.scale);

  std::size_t perLine = unlimited;
  if (request.maxWidth && std::isfinite(*request.maxWidth) && unit > 0) {
    // The tolerance lets a width computed as n code points' advance hold exactly n of them.
    const double fit = std::max(*request.maxWidth, 0.0) * 10 / (6 * unit) * (1 + 1e-9);
    if (fit < 1e18) perLine = static_cast<std::size_t>(std::floor(fit));
  }
  const std::size_t limit =
      request.lineLimit ? static_cast<std::size_t>(std::max(*request.lineLimit, 1)) : unlimited;

  std::vector<Span> spans;
  Wrapper wrapper(text, perLine, limit, spans);
  for (std::size_t begin = 0;;) {
    const std::size_t found = text.find('\n', begin);
    const std::size_t end = found == std::string_view::npos ? text.size() : found;
    if (!wrapper.paragraph(begin, end) || end == text.size()) break;
    begin = end + 1;
  }

  TextLayout layout;
  layout.truncated = wrapper.more();
  if (layout.truncated) {
    // The last kept line takes what of the rest of its paragraph fits beside the ellipsis.
    Span& last = spans.back();
    const std::size_t found = text.find('\n', last.begin);
    const std::size_t paragraphEnd = found == std::string_view::npos ? text.size() : found;
    const std::size_t room = perLine == unlimited ? unlimited : (perLine > 0 ? perLine - 1 : 0);
    std::size_t taken = 0;
    std::size_t end = skipCodePoints(text, last.begin, paragraphEnd, room, taken);
    while (end > last.begin && text[end - 1] == ' ') --end, --taken;
    last = {last.begin, end, taken + 1};
  }

  std::size_t widest = 0;
  layout.lines.reserve(spans.size());
  for (const Span& span : spans) {
    layout.lines.emplace_back(text.substr(span.begin, span.end - span.begin));
    widest = std::max(widest, span.count);
  }
  if (layout.truncated) layout.lines.back() += ellipsis;
  layout.size = {widthOf(widest, unit),
                 static_cast<double>(layout.lines.size()) * lineHeight(request)};
  return layout;
}

}  // namespace ui::layout
