#include "platform/image/ui_image.hpp"

#include "platform/image/codecs.hpp"

#include <algorithm>
#include <array>
#include <new>
#include <utility>

namespace image {
namespace {

template <std::size_t N>
bool startsWith(std::span<const std::uint8_t> data, const std::array<std::uint8_t, N>& magic) {
  return data.size() >= N && std::equal(magic.begin(), magic.end(), data.begin());
}

std::optional<Format> sniff(std::span<const std::uint8_t> data) {
  static constexpr std::array<std::uint8_t, 8> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  static constexpr std::array<std::uint8_t, 3> jpeg = {0xff, 0xd8, 0xff};
  static constexpr std::array<std::uint8_t, 6> gif87 = {'G', 'I', 'F', '8', '7', 'a'};
  static constexpr std::array<std::uint8_t, 6> gif89 = {'G', 'I', 'F', '8', '9', 'a'};
  static constexpr std::array<std::uint8_t, 4> riff = {'R', 'I', 'F', 'F'};
  static constexpr std::array<std::uint8_t, 4> webp = {'W', 'E', 'B', 'P'};
  if (startsWith(data, png)) return Format::png;
  if (startsWith(data, jpeg)) return Format::jpeg;
  if (startsWith(data, gif87) || startsWith(data, gif89)) return Format::gif;
  if (startsWith(data, riff) &&
      startsWith(data.subspan(std::min<std::size_t>(8, data.size())), webp))
    return Format::webp;
  return std::nullopt;
}

}  // namespace

UIImage::UIImage(std::uint32_t width, std::uint32_t height, Format format,
                 std::vector<std::uint8_t> pixels)
    : width_(width),
      height_(height),
      format_(format),
      pixels_(std::make_shared<const std::vector<std::uint8_t>>(std::move(pixels))) {}

std::optional<UIImage> UIImage::fromData(std::span<const std::uint8_t> data) {
  const auto format = sniff(data);
  if (!format) return std::nullopt;
  std::optional<detail::Decoded> decoded;
  // The limits keep every buffer far below what a machine can give, but a caller that is short of
  // memory still gets "no image" rather than an exception from a function that promises a value
  // or nothing.
  try {
    switch (*format) {
      case Format::png:
        decoded = detail::decodePng(data);
        break;
      case Format::jpeg:
        decoded = detail::decodeJpeg(data);
        break;
      case Format::gif:
        decoded = detail::decodeGif(data);
        break;
      case Format::webp:
        decoded = detail::decodeWebp(data);
        break;
    }
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  if (!decoded || !detail::withinLimits(decoded->width, decoded->height) ||
      decoded->rgba.size() != std::size_t{decoded->width} * decoded->height * 4)
    return std::nullopt;
  return UIImage(decoded->width, decoded->height, *format, std::move(decoded->rgba));
}

bool operator==(const UIImage& a, const UIImage& b) {
  if (a.width_ != b.width_ || a.height_ != b.height_) return false;
  return a.pixels_ == b.pixels_ || *a.pixels_ == *b.pixels_;
}

}  // namespace image
