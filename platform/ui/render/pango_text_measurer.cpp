#include "platform/ui/render/pango_text_measurer.hpp"

#include "platform/ui/platform_metrics.hpp"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace ui::render {
namespace {

struct LayoutDeleter {
  void operator()(PangoLayout* layout) const { g_object_unref(layout); }
};
using Layout = std::unique_ptr<PangoLayout, LayoutDeleter>;

// Nothing beyond this many bytes can be seen in any presentation (it is also all the data the
// platform lets an activity carry); cutting there bounds the work a huge text can cause, since
// Pango shapes a paragraph whole. The cut falls on a character boundary.
constexpr std::size_t kMaxMeasuredBytes = 4096;

// A text keeps at most this many lines: far more than any presentation shows (160 points at the
// smallest line height is 13 lines), and a bound on Pango's work, which grows with lines times
// characters when a long word has to be broken.
constexpr std::size_t kMaxLines = 200;
// No glyph of Inter advances less than this many ems, so a line of `width` holds at most
// width / (kNarrowestAdvance x size) characters.
constexpr double kNarrowestAdvance = 0.2;

std::string_view bounded(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xc0) == 0x80) --end;
  return text.substr(0, end);
}

double layoutWidth(PangoLayout* layout) {
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  return static_cast<double>(logical.width) / PANGO_SCALE;
}

struct MeasuredLine {
  std::string text;
  double width = 0;
  // The paragraph from this line's start on: what a truncated last line may show of it.
  std::string_view fromHere;
};

// Adds the characters that no font of ours has, which Pango shapes as boxes: it marks such a
// glyph and keeps the character in it.
void collectMissing(PangoLayout* layout, std::vector<char32_t>& missing) {
  if (pango_layout_get_unknown_glyphs_count(layout) == 0) return;
  PangoLayoutIter* iter = pango_layout_get_iter(layout);
  do {
    const PangoLayoutRun* run = pango_layout_iter_get_run_readonly(iter);
    if (run == nullptr) continue;
    for (int i = 0; i < run->glyphs->num_glyphs; ++i) {
      const PangoGlyph glyph = run->glyphs->glyphs[i].glyph;
      if ((glyph & PANGO_GLYPH_UNKNOWN_FLAG) == 0) continue;
      const char32_t character = glyph & ~PANGO_GLYPH_UNKNOWN_FLAG;
      if (std::find(missing.begin(), missing.end(), character) == missing.end()) {
        missing.push_back(character);
      }
    }
  } while (pango_layout_iter_next_run(iter));
  pango_layout_iter_free(iter);
}

// The lines of one paragraph wrapped at `maxWidth`, or the paragraph whole, with their widths,
// all from one Pango layout.
void wrapParagraph(const TextSystem& system, std::string_view paragraph, const TextFont& face,
                   const std::optional<double>& maxWidth, std::vector<MeasuredLine>& lines,
                   std::size_t maxLines, std::vector<char32_t>& missing) {
  if (paragraph.empty()) {
    lines.push_back({});
    return;
  }
  Layout layout(system.createLayout(paragraph, face));
  if (maxWidth) {
    pango_layout_set_width(layout.get(), static_cast<int>(std::max(*maxWidth, 0.0) * PANGO_SCALE));
    pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD_CHAR);
  }
  collectMissing(layout.get(), missing);
  for (GSList* line = pango_layout_get_lines_readonly(layout.get());
       line != nullptr && lines.size() < maxLines; line = line->next) {
    auto* current = static_cast<PangoLayoutLine*>(line->data);
    std::string text(paragraph.substr(static_cast<std::size_t>(current->start_index),
                                      static_cast<std::size_t>(current->length)));
    // A wrapped line keeps its trailing space in Pango; it is not drawn, so it is not measured.
    while (!text.empty() && text.back() == ' ') text.pop_back();
    PangoRectangle ink;
    PangoRectangle logical;
    pango_layout_line_get_extents(current, &ink, &logical);
    double width = static_cast<double>(logical.width) / PANGO_SCALE;
    if (text.size() != static_cast<std::size_t>(current->length)) {
      Layout trimmed(system.createLayout(text, face));
      width = text.empty() ? 0 : layoutWidth(trimmed.get());
    }
    lines.push_back(
        {std::move(text), width, paragraph.substr(static_cast<std::size_t>(current->start_index))});
  }
}

// The longest start of `line` that fits `maxWidth` with "…" after it, cut between two grapheme
// clusters: never inside an emoji sequence, nor between a letter and its marks.
std::string ellipsized(const TextSystem& system, const std::string& line, const TextFont& face,
                       const std::optional<double>& maxWidth) {
  const auto fits = [&](std::size_t length) {
    if (!maxWidth) return true;
    const std::string candidate = line.substr(0, length) + "\u2026";
    Layout layout(system.createLayout(candidate, face));
    return layoutWidth(layout.get()) <= *maxWidth;
  };
  std::vector<std::size_t> boundaries{0};
  {
    Layout whole(system.createLayout(line, face));
    int count = 0;
    const PangoLogAttr* attributes = pango_layout_get_log_attrs_readonly(whole.get(), &count);
    int character = 0;
    for (std::size_t i = 1; i <= line.size(); ++i) {
      if (i < line.size() && (static_cast<unsigned char>(line[i]) & 0xc0) == 0x80) continue;
      ++character;
      if (i == line.size() || (character < count && attributes[character].is_cursor_position)) {
        boundaries.push_back(i);
      }
    }
  }
  std::size_t low = 0;
  std::size_t high = boundaries.size() - 1;
  while (low < high) {
    const std::size_t middle = (low + high + 1) / 2;
    if (fits(boundaries[middle])) {
      low = middle;
    } else {
      high = middle - 1;
    }
  }
  std::string kept = line.substr(0, boundaries[low]);
  while (!kept.empty() && kept.back() == ' ') kept.pop_back();
  return kept + "\u2026";
}

}  // namespace

layout::TextLayout PangoTextMeasurer::measure(const layout::TextRequest& request) const {
  // Texts too long to keep as keys are measured afresh; they are bounded before layout anyway.
  constexpr std::size_t kMaxKeyedText = 1024;
  constexpr std::size_t kMaxAnswers = 4096;
  if (request.text.size() > kMaxKeyedText) return measureUncached(request);
  std::string key = request.font.description();
  char numbers[96];
  std::snprintf(numbers, sizeof numbers, "|%.17g|%.17g|%d|%d|", request.scale,
                request.maxWidth.value_or(-1.0), request.lineLimit.value_or(-1),
                static_cast<int>(request.typeSize));
  key += numbers;
  key += request.text;
  if (const auto found = answers_.find(key); found != answers_.end()) return found->second;
  layout::TextLayout answer = measureUncached(request);
  if (answers_.size() >= kMaxAnswers) answers_.clear();
  answers_.emplace(std::move(key), answer);
  return answer;
}

layout::TextLayout PangoTextMeasurer::measureUncached(const layout::TextRequest& request) const {
  const DrawnFont font = resolveFont(request.font, request.scale, request.typeSize);
  // The lines a text may keep: its limit (at least one), and never more than kMaxLines.
  const std::size_t keep =
      request.lineLimit ? std::min<std::size_t>(
                              static_cast<std::size_t>(std::max(*request.lineLimit, 1)), kMaxLines)
                        : kMaxLines;
  std::optional<double> maxWidth;
  if (request.maxWidth && std::isfinite(*request.maxWidth)) maxWidth = *request.maxWidth;

  // Only what can fill one line more than is kept is laid out.
  std::size_t byteLimit = kMaxMeasuredBytes;
  if (maxWidth) {
    const double perLine = *maxWidth / (kNarrowestAdvance * std::max(font.face.size, 1.0)) + 2;
    // Four bytes at most to a character.
    byteLimit = static_cast<std::size_t>(std::min(static_cast<double>(kMaxMeasuredBytes),
                                                  4 * perLine * static_cast<double>(keep + 1)));
  }
  const std::string_view text = bounded(request.text, byteLimit);

  layout::TextLayout result;
  std::vector<MeasuredLine> lines;
  std::size_t start = 0;
  while (lines.size() <= keep) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    wrapParagraph(text_, text.substr(start, end - start), font.face, maxWidth, lines, keep + 1,
                  result.missingCharacters);
    if (end >= text.size()) break;
    start = end + 1;
  }
  const bool cut = text.size() < request.text.size();
  if (lines.size() > keep || cut) {
    lines.resize(std::min(lines.size(), keep));
    MeasuredLine& last = lines.back();
    // Cut at the tail of what is left, not at the last kept line's wrap: a word that wrapped to
    // the next line still shows as far as it fits.
    last.text = ellipsized(text_, std::string(last.fromHere), font.face, maxWidth);
    Layout layout(text_.createLayout(last.text, font.face));
    last.width = layoutWidth(layout.get());
    result.truncated = true;
  }
  double widest = 0;
  for (MeasuredLine& line : lines) {
    widest = std::max(widest, line.width);
    result.lines.push_back(std::move(line.text));
  }
  result.size = {widest, static_cast<double>(result.lines.size()) * font.lineHeight};
  return result;
}

}  // namespace ui::render
