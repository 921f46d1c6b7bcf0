#include "platform/ui/render/appearance.hpp"

#include "platform/ui/platform_metrics.hpp"

namespace ui::render {
namespace {

RGBA pick(const AppearancePair& pair, Appearance appearance, double opacity = 1) {
  const ColorSwatch& s = appearance == Appearance::light ? pair.light : pair.dark;
  return RGBA{s.red / 255, s.green / 255, s.blue / 255, s.opacity * opacity};
}

}  // namespace

RGBA resolve(const Color& color, Appearance appearance) {
  const double opacity = color.opacityValue().value_or(1);
  if (color.uiColor()) return pick(colorMetrics().systemBackground, appearance, opacity);
  switch (*color.name()) {
    case Color::Name::green:
      return pick(colorMetrics().green, appearance, opacity);
    case Color::Name::red:
      return pick(colorMetrics().red, appearance, opacity);
    case Color::Name::blue:
      break;
  }
  return pick(colorMetrics().blue, appearance, opacity);
}

RGBA resolve(const ShapeStyle& style, Appearance appearance) {
  if (const auto* color = std::get_if<Color>(&style)) return resolve(*color, appearance);
  return std::get<HierarchicalShapeStyle>(style) == HierarchicalShapeStyle::secondary
             ? pick(colorMetrics().secondaryLabel, appearance)
             : pick(colorMetrics().label, appearance);
}

RGBA progressTrack(Appearance appearance) {
  return pick(colorMetrics().progressTrack, appearance);
}

RGBA lockScreenContainer(Appearance appearance) {
  return pick(colorMetrics().systemBackground, appearance);
}

}  // namespace ui::render
