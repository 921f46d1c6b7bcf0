#include "platform/ui/render/appearance.hpp"

namespace ui::render {
namespace {

// The published system colours, light and dark, sRGB 0-255 with an opacity.
struct Swatch {
  double r, g, b, a;
};
struct Pair {
  Swatch light, dark;
};
constexpr Pair kBlue{{0, 122, 255, 1}, {10, 132, 255, 1}};
constexpr Pair kGreen{{52, 199, 89, 1}, {48, 209, 88, 1}};
constexpr Pair kRed{{255, 59, 48, 1}, {255, 69, 58, 1}};
constexpr Pair kSystemBackground{{255, 255, 255, 1}, {0, 0, 0, 1}};
constexpr Pair kLabel{{0, 0, 0, 1}, {255, 255, 255, 1}};
constexpr Pair kSecondaryLabel{{60, 60, 67, 0.6}, {235, 235, 245, 0.6}};
constexpr Pair kProgressTrack{{120, 120, 128, 0.2}, {120, 120, 128, 0.36}};

RGBA pick(const Pair& pair, Appearance appearance, double opacity = 1) {
  const Swatch& s = appearance == Appearance::light ? pair.light : pair.dark;
  return RGBA{s.r / 255, s.g / 255, s.b / 255, s.a * opacity};
}

}  // namespace

RGBA resolve(const Color& color, Appearance appearance) {
  const double opacity = color.opacityValue().value_or(1);
  if (color.uiColor()) return pick(kSystemBackground, appearance, opacity);
  switch (*color.name()) {
    case Color::Name::green:
      return pick(kGreen, appearance, opacity);
    case Color::Name::red:
      return pick(kRed, appearance, opacity);
    case Color::Name::blue:
      break;
  }
  return pick(kBlue, appearance, opacity);
}

RGBA resolve(const ShapeStyle& style, Appearance appearance) {
  if (const auto* color = std::get_if<Color>(&style)) return resolve(*color, appearance);
  return std::get<HierarchicalShapeStyle>(style) == HierarchicalShapeStyle::secondary
             ? pick(kSecondaryLabel, appearance)
             : pick(kLabel, appearance);
}

RGBA progressTrack(Appearance appearance) {
  return pick(kProgressTrack, appearance);
}

RGBA lockScreenContainer(Appearance appearance) {
  return pick(kSystemBackground, appearance);
}

}  // namespace ui::render
