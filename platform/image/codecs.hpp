#pragma once

// The decoders behind UIImage::fromData, one per format. Each is handed a file whose magic bytes
// already match its format and answers either a complete image within the limits or nothing.

#include "platform/image/ui_image.hpp"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace image::detail {

struct Decoded {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> rgba;  // width * height * 4
};

// Whether a declared size may be decoded: neither side zero, neither beyond maxSide, the area
// within maxPixels. Every codec asks this before it allocates anything that scales with the size.
constexpr bool withinLimits(std::uint64_t width, std::uint64_t height) noexcept {
  return width > 0 && height > 0 && width <= maxSide && height <= maxSide &&
         width * height <= maxPixels;
}

std::optional<Decoded> decodePng(std::span<const std::uint8_t> data);
std::optional<Decoded> decodeJpeg(std::span<const std::uint8_t> data);
std::optional<Decoded> decodeGif(std::span<const std::uint8_t> data);
std::optional<Decoded> decodeWebp(std::span<const std::uint8_t> data);

}  // namespace image::detail
