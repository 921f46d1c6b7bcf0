#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ui {

// A font as the platform describes it: a text style or a system font of a size, with a weight and
// monospaced digits as asked. Sizes and faces are the drawing's business.
class Font {
 public:
  enum class TextStyle : std::uint8_t { headline, subheadline, footnote, caption, caption2 };
  enum class Weight : std::uint8_t { regular, medium, semibold, bold };
  enum class Design : std::uint8_t { standard };

  static const Font headline;
  static const Font subheadline;
  static const Font footnote;
  static const Font caption;
  static const Font caption2;

  constexpr explicit Font(TextStyle style) noexcept : style_(style) {}
  // Font.system(size:weight:design:)
  static constexpr Font system(double size, Weight weight = Weight::regular,
                               Design design = Design::standard) noexcept {
    Font font(TextStyle::headline);
    font.style_.reset();
    font.size_ = size;
    font.systemWeight_ = weight;
    font.design_ = design;
    return font;
  }

  constexpr Font weight(Weight value) const noexcept {
    Font copy = *this;
    copy.weight_ = value;
    return copy;
  }
  constexpr Font monospacedDigit() const noexcept {
    Font copy = *this;
    copy.monospacedDigit_ = true;
    return copy;
  }

  constexpr std::optional<TextStyle> textStyle() const noexcept { return style_; }
  constexpr std::optional<double> size() const noexcept { return size_; }
  // The weight asked for, through weight(_:) or system(size:weight:); nothing for a style's own.
  constexpr std::optional<Weight> weightValue() const noexcept {
    return weight_ ? weight_ : systemWeight_;
  }
  constexpr bool hasMonospacedDigits() const noexcept { return monospacedDigit_; }

  // ".headline", ".caption.weight(.semibold)", ".footnote.monospacedDigit()",
  // ".system(size: 22.88, weight: .semibold)".
  std::string description() const;

  friend constexpr bool operator==(const Font&, const Font&) = default;

 private:
  std::optional<TextStyle> style_;
  std::optional<double> size_;
  std::optional<Weight> systemWeight_;
  std::optional<Design> design_;
  std::optional<Weight> weight_;
  bool monospacedDigit_ = false;
};

inline constexpr Font Font::headline{Font::TextStyle::headline};
inline constexpr Font Font::subheadline{Font::TextStyle::subheadline};
inline constexpr Font Font::footnote{Font::TextStyle::footnote};
inline constexpr Font Font::caption{Font::TextStyle::caption};
inline constexpr Font Font::caption2{Font::TextStyle::caption2};

std::string_view describe(Font::Weight weight);

}  // namespace ui
