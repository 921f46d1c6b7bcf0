#pragma once

#include "platform/image/image_cache.hpp"
#include "platform/image/ui_image.hpp"
#include "platform/ui/view.hpp"
#include "tolvex/model/record_coding.hpp"

#include <optional>

namespace tolvex {

// The icon in a content state's base64 text: nothing when the text is absent, is not base64, or
// decodes to bytes that are no image. With the drawer's image cache, each distinct text is decoded
// once while the cache keeps it, however many places show it.
std::optional<image::UIImage> decodeAppIcon(const std::optional<String>& appIconBase64,
                                            image::ImageCache* images);

// The icon as a square of side `size`, scaled to fill and cropped about its centre, with corners
// of radius 0.225 x size; the place's own fallback when no image decodes.
ui::View AppIconView(const std::optional<String>& appIconBase64, image::ImageCache* images,
                     double size, ui::View fallback);

// The download activity's fallback: a pale blue tile with the download symbol.
ui::View AppIconPlaceholder(double size);

}  // namespace tolvex
