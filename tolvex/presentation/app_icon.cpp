#include "tolvex/presentation/app_icon.hpp"

#include <cmath>

namespace tolvex {

std::optional<image::UIImage> decodeAppIcon(const std::optional<String>& appIconBase64,
                                            image::ImageCache* images) {
  if (!appIconBase64) return std::nullopt;
  if (!images) return image::imageFromBase64(appIconBase64->view());
  return images->fromBase64(appIconBase64->view());
}

ui::View AppIconView(const std::optional<String>& appIconBase64, image::ImageCache* images,
                     double size, ui::View fallback) {
  auto icon = decodeAppIcon(appIconBase64, images);
  if (!icon) return fallback;
  return ui::Image(std::move(*icon))
      .resizable(ui::EdgeInsets{}, ui::ResizingMode::stretch)
      .aspectRatio(std::nullopt, ui::ContentMode::fill)
      .frame(size, size, ui::Alignment::center)
      .clipShape(ui::RoundedRectangle{0.225 * size, ui::RoundedCornerStyle::continuous});
}

ui::View AppIconPlaceholder(double size) {
  const double product = 0.52 * size;
  // The glyph never drops below 9 points, and a size that is no number still gets a glyph.
  const double glyphSize = std::isnan(product) ? 9 : std::max(product, 9.0);
  return ui::ZStack(
             ui::Alignment::center,
             ui::RoundedRectangle{0.225 * size, ui::RoundedCornerStyle::continuous}.fill(
                 ui::Color::blue.opacity(0.16)),
             ui::Image(std::string_view("arrow.down.circle.fill"))
                 .font(ui::Font::system(glyphSize, ui::Font::Weight::semibold))
                 .foregroundStyle(ui::Color::blue))
      .frame(size, size, ui::Alignment::center);
}

}  // namespace tolvex
