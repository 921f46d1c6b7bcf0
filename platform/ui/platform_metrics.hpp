#pragma once

#include "platform/ui/environment.hpp"
#include "platform/ui/font.hpp"

#include <optional>

namespace ui {

// The phone's published sizes, text styles and colours that layout and drawing rely on, and the
// few values of our own where it publishes none (marked "chosen"), kept in this one table so that
// they can be tuned against screenshots.

struct TextStyleMetrics {
  double pointSize;
  Font::Weight weight;
  double lineHeight;
};

// A text style at a text size: the published point sizes, line heights scaled in proportion.
TextStyleMetrics textStyleMetrics(Font::TextStyle style,
                                  DynamicTypeSize size = DynamicTypeSize::large);

// The font of a text that no font modifier reaches: the body style's 17 points, regular.
inline constexpr double bodyPointSize = 17;
// Between adjacent children of a stack that gives no spacing (chosen).
inline constexpr double defaultStackSpacing = 8;
// The least length of a Spacer made without one (chosen).
inline constexpr double defaultSpacerMinLength = 8;
// The linear progress bar's height (chosen).
inline constexpr double progressBarHeight = 4;
// A progress bar's width when offered no width at all (chosen): it has no natural width.
inline constexpr double idealProgressBarWidth = 100;
// A shape's side when offered no length in that dimension, as the platform answers.
inline constexpr double idealShapeSide = 10;

// A font as drawing needs it. `styleLineHeight` is the published line height of a text style;
// nothing for a system font of a size, whose line height is the measurer's business.
struct ResolvedFont {
  double pointSize = bodyPointSize;
  Font::Weight weight = Font::Weight::regular;
  bool monospacedDigits = false;
  std::optional<double> styleLineHeight;

  friend bool operator==(const ResolvedFont&, const ResolvedFont&) = default;
};

// system(size:) gives its size; a text style gives the table's at the text size (a system font of
// a size does not follow the text size); weight(_:) overrides either
// weight. A size that is no number or negative resolves to 0, and one beyond 4096 to 4096, so
// that no font can make lengths that are no numbers.
ResolvedFont resolve(const Font& font, DynamicTypeSize size = DynamicTypeSize::large);

// A colour in the light and the dark appearance: sRGB 0 to 255, opacity 0 to 1.
struct ColorSwatch {
  double red, green, blue, opacity;
};
struct AppearancePair {
  ColorSwatch light, dark;
};
struct ColorMetrics {
  AppearancePair blue, green, red, systemBackground, label, secondaryLabel, progressTrack;
};
const ColorMetrics& colorMetrics();

// The side of the square a system symbol image takes: the point size of the font in force, or of
// the body style where none is.
double symbolImageSide(const std::optional<Font>& font,
                       DynamicTypeSize size = DynamicTypeSize::large);

}  // namespace ui
