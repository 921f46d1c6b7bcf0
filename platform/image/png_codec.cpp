#include "platform/image/codecs.hpp"

#include <spng.h>

#include <algorithm>
#include <iterator>
#include <memory>

namespace image::detail {
namespace {

struct ContextDeleter {
  void operator()(spng_ctx* context) const noexcept { spng_ctx_free(context); }
};

// Ancillary chunks (text, ICC profiles, EXIF, ...) are buffered by libspng; these limits bound
// that memory, including what compressed text may inflate to. A file whose metadata goes beyond
// them gives no image. libspng's own cap on the number of chunks (1000) stays as it is: 0.7.3
// refuses to change it.
constexpr std::size_t maxChunkBytes = 4 << 20;
constexpr std::size_t maxCachedChunkBytes = 8 << 20;

// Whether the chunk sequence reaches a whole IEND chunk. libspng stops reading at IEND's type and
// never looks at its checksum, so without this a file missing its last four bytes would pass.
bool reachesEnd(std::span<const std::uint8_t> data) {
  static constexpr std::uint8_t endChunk[] = {0,   0,   0,    0,    'I',  'E',
                                              'N', 'D', 0xae, 0x42, 0x60, 0x82};
  std::size_t at = 8;
  while (data.size() - at >= sizeof endChunk) {
    if (std::equal(std::begin(endChunk), std::end(endChunk), data.begin() + at)) return true;
    const std::size_t length = (std::size_t{data[at]} << 24) | (std::size_t{data[at + 1]} << 16) |
                               (std::size_t{data[at + 2]} << 8) | data[at + 3];
    if (data.size() - at - 12 < length) return false;
    at += 12 + length;
  }
  return false;
}

}  // namespace

std::optional<Decoded> decodePng(std::span<const std::uint8_t> data) {
  if (data.size() < 8 || !reachesEnd(data)) return std::nullopt;
  std::unique_ptr<spng_ctx, ContextDeleter> context(spng_ctx_new(0));
  if (!context) return std::nullopt;
  spng_ctx* ctx = context.get();
  // A checksum failure in any chunk, ancillary ones included, means the file was damaged:
  // no image rather than a guess at which part survived.
  if (spng_set_crc_action(ctx, SPNG_CRC_ERROR, SPNG_CRC_ERROR) != 0 ||
      spng_set_image_limits(ctx, maxSide, maxSide) != 0 ||
      spng_set_chunk_limits(ctx, maxChunkBytes, maxCachedChunkBytes) != 0 ||
      spng_set_png_buffer(ctx, data.data(), data.size()) != 0)
    return std::nullopt;

  spng_ihdr header{};
  if (spng_get_ihdr(ctx, &header) != 0 || !withinLimits(header.width, header.height))
    return std::nullopt;
  std::size_t size = 0;
  if (spng_decoded_image_size(ctx, SPNG_FMT_RGBA8, &size) != 0 ||
      size != std::size_t{header.width} * header.height * 4)
    return std::nullopt;

  Decoded image{header.width, header.height, std::vector<std::uint8_t>(size)};
  if (spng_decode_image(ctx, image.rgba.data(), size, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS) != 0)
    return std::nullopt;
  // The chunks after the image data are read and checked as well; damage there is damage too.
  if (spng_decode_chunks(ctx) != 0) return std::nullopt;
  return image;
}

}  // namespace image::detail
