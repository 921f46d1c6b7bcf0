#include "platform/image/codecs.hpp"

#include <webp/decode.h>

namespace image::detail {

std::optional<Decoded> decodeWebp(std::span<const std::uint8_t> data) {
  // Reads the headers only (RIFF, VP8X, and the VP8 or VP8L frame header).
  WebPBitstreamFeatures features{};
  if (WebPGetFeatures(data.data(), data.size(), &features) != VP8_STATUS_OK) return std::nullopt;
  // The simple decoder cannot compose animation frames, and taking the first frame alone would
  // need the demuxer; an animated WebP is refused as a whole rather than shown half-built.
  if (features.has_animation) return std::nullopt;
  if (features.width <= 0 || features.height <= 0 ||
      !withinLimits(static_cast<std::uint64_t>(features.width),
                    static_cast<std::uint64_t>(features.height)))
    return std::nullopt;

  Decoded image{
      static_cast<std::uint32_t>(features.width), static_cast<std::uint32_t>(features.height), {}};
  image.rgba.resize(std::size_t{image.width} * image.height * 4);
  const int stride = features.width * 4;
  if (WebPDecodeRGBAInto(data.data(), data.size(), image.rgba.data(), image.rgba.size(), stride) ==
      nullptr)
    return std::nullopt;
  return image;
}

}  // namespace image::detail
