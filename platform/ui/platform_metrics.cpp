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

// Point sizes of headline, subheadline, footnote, caption and caption2 at each text size, in the
// order of DynamicTypeSize; Large is the row above.
constexpr std::array<std::array<double, 5>, 12> textStyleSizes{{
    {14, 12, 12, 11, 11},  // xSmall
    {15, 13, 12, 11, 11},  // Small
    {16, 14, 12, 11, 11},  // Medium
    {17, 15, 13, 12, 11},  // Large
    {19, 17, 15, 14, 13},  // xLarge
    {21, 19, 17, 16, 15},  // xxLarge
    {23, 21, 19, 18, 17},  // xxxLarge
    {28, 25, 23, 22, 20},  // AX1
    {33, 30, 27, 26, 24},  // AX2
    {40, 36, 33, 32, 29},  // AX3
    {47, 42, 38, 37, 34},  // AX4
    {53, 49, 44, 43, 40},  // AX5
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

TextStyleMetrics textStyleMetrics(Font::TextStyle style, DynamicTypeSize size) {
  const auto index = std::min(static_cast<std::size_t>(style), textStyles.size() - 1);
  TextStyleMetrics metrics = textStyles[index];
  const auto row = std::min(static_cast<std::size_t>(size), textStyleSizes.size() - 1);
  const double points = textStyleSizes[row][index];
  metrics.lineHeight *= points / metrics.pointSize;
  metrics.pointSize = points;
  return metrics;
}

ResolvedFont resolve(const Font& font, DynamicTypeSize size) {
  ResolvedFont resolved;
  if (const auto style = font.textStyle()) {
    const TextStyleMetrics metrics = textStyleMetrics(*style, size);
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

double symbolImageSide(const std::optional<Font>& font, DynamicTypeSize size) {
  return font ? resolve(*font, size).pointSize : bodyPointSize;
}

}  // namespace ui
