#include "platform/ui/platform_metrics.hpp"

#include <algorithm>
#include <array>
#include <cmath>

namespace ui {
namespace {

constexpr double maxPointSize = 4096;

// In the order of Font::TextStyle.
constexpr std::array<TextStyleMetrics, 5> textStyles{{
    {17, Font::Weight::semibold, 22},  // headline
    {15, Font::Weight::regular, 20},   // subheadline
    {13, Font::Weight::regular, 18},   // footnote
    {12, Font::Weight::regular, 16},   // caption
    {11, Font::Weight::regular, 13},   // caption2
}};

}  // namespace

const ColorMetrics& colorMetrics() {
  static constexpr ColorMetrics colors{
      {{0, 122, 255, 1}, {10, 132, 255, 1}},          // blue
      {{52, 199, 89, 1}, {48, 209, 88, 1}},           // green
      {{255, 59, 48, 1}, {255, 69, 58, 1}},           // red
      {{255, 255, 255, 1}, {0, 0, 0, 1}},             // systemBackground
      {{0, 0, 0, 1}, {255, 255, 255, 1}},             // label
      {{60, 60, 67, 0.6}, {235, 235, 245, 0.6}},      // secondary label
      {{120, 120, 128, 0.2}, {120, 120, 128, 0.36}},  // progress track (chosen: systemFill)
  };
  return colors;
}

TextStyleMetrics textStyleMetrics(Font::TextStyle style) {
  const auto index = static_cast<std::size_t>(style);
  return index < textStyles.size() ? textStyles[index] : textStyles[0];
}

ResolvedFont resolve(const Font& font) {
  ResolvedFont resolved;
  if (const auto style = font.textStyle()) {
    const TextStyleMetrics metrics = textStyleMetrics(*style);
    resolved.pointSize = metrics.pointSize;
    resolved.weight = metrics.weight;
    resolved.styleLineHeight = metrics.lineHeight;
  } else {
    const double size = font.size().value_or(bodyPointSize);
    resolved.pointSize = std::isnan(size) ? 0 : std::clamp(size, 0.0, maxPointSize);
  }
  if (const auto weight = font.weightValue()) resolved.weight = *weight;
  resolved.monospacedDigits = font.hasMonospacedDigits();
  return resolved;
}

double symbolImageSide(const std::optional<Font>& font) {
  return font ? resolve(*font).pointSize : bodyPointSize;
}

}  // namespace ui
