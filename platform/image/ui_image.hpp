#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace image {

enum class Format { png, jpeg, gif, webp };

// Hard limits, checked from the header before any pixel buffer exists.
inline constexpr std::uint32_t maxSide = 4096;
inline constexpr std::uint64_t maxPixels = 4096ull * 4096ull;  // 16 megapixels

// The platform image: decoded pixels, RGBA 8 bits per channel, straight (not premultiplied) alpha,
// rows top to bottom, no padding.
class UIImage {
 public:
  // An image from file bytes, recognised by content (magic bytes), never by a name. Nothing for
  // empty, truncated, corrupt, unknown-format or over-limit input.
  static std::optional<UIImage> fromData(std::span<const std::uint8_t> data);

  // Copying shares the pixels. Declaring the copy operations leaves no move operations, so a
  // "moved-from" image is still a whole image rather than a size without pixels.
  UIImage(const UIImage&) = default;
  UIImage& operator=(const UIImage&) = default;

  std::uint32_t width() const noexcept { return width_; }
  std::uint32_t height() const noexcept { return height_; }
  Format format() const noexcept { return format_; }
  // width * height * 4 bytes.
  std::span<const std::uint8_t> rgba() const noexcept { return *pixels_; }

  // Same size and same pixels; the format the pixels came from does not count.
  friend bool operator==(const UIImage& a, const UIImage& b);

 private:
  UIImage(std::uint32_t width, std::uint32_t height, Format format,
          std::vector<std::uint8_t> pixels);

  std::uint32_t width_;
  std::uint32_t height_;
  Format format_;
  // Shared and immutable, so that copies are cheap and views can hold images by value.
  std::shared_ptr<const std::vector<std::uint8_t>> pixels_;
};

}  // namespace image
