#include "platform/image/codecs.hpp"

#include <turbojpeg.h>

#include <memory>

namespace image::detail {
namespace {

// turbojpeg takes the file's length as unsigned long.
static_assert(sizeof(unsigned long) >= sizeof(std::size_t));

struct HandleDeleter {
  void operator()(void* handle) const noexcept { tjDestroy(handle); }
};

}  // namespace

std::optional<Decoded> decodeJpeg(std::span<const std::uint8_t> data) {
  std::unique_ptr<void, HandleDeleter> handle(tjInitDecompress());
  if (!handle) return std::nullopt;
  const auto size = static_cast<unsigned long>(data.size());

  int width = 0;
  int height = 0;
  int subsampling = 0;
  int colorspace = 0;
  if (tjDecompressHeader3(handle.get(), data.data(), size, &width, &height, &subsampling,
                          &colorspace) != 0)
    return std::nullopt;
  // turbojpeg 2.1 has no limit of its own: the size comes from the frame header and is checked
  // here before the pixel buffer (or the decoder's own working memory) exists.
  if (width <= 0 || height <= 0 ||
      !withinLimits(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height)))
    return std::nullopt;

  Decoded image{static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), {}};
  image.rgba.resize(std::size_t{image.width} * image.height * 4);
  // Stopping on the first warning turns libjpeg's recoverable faults (a file cut short, corrupt
  // entropy data, a missing end marker) into failures instead of a grey-padded image, and
  // limiting progressive scans bounds the time a small hostile file can take. turbojpeg keeps
  // libjpeg's messages in its own error string, so nothing reaches stderr.
  const int flags = TJFLAG_STOPONWARNING | TJFLAG_LIMITSCANS;
  if (tjDecompress2(handle.get(), data.data(), size, image.rgba.data(), width, 0, height, TJPF_RGBA,
                    flags) != 0)
    return std::nullopt;
  return image;
}

}  // namespace image::detail
