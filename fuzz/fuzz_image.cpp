// Feeds arbitrary bytes to the image decoder, both as they are and, where they are base64 text,
// decoded first (the way an app icon arrives inside an activity record). Whatever decodes must be
// a whole image within the limits; whatever base64 decodes must encode back to the same bytes.
#include "platform/foundation/base64.hpp"
#include "platform/image/ui_image.hpp"

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>

namespace {

volatile unsigned sink;

void checkImage(std::span<const std::uint8_t> bytes) {
  const auto decoded = image::UIImage::fromData(bytes);
  if (!decoded) return;
  if (decoded->width() == 0 || decoded->height() == 0 || decoded->width() > image::maxSide ||
      decoded->height() > image::maxSide ||
      std::uint64_t{decoded->width()} * decoded->height() > image::maxPixels)
    std::abort();
  if (decoded->rgba().size() != std::size_t{decoded->width()} * decoded->height() * 4) std::abort();
  // Read every byte so that a short buffer shows up under AddressSanitizer.
  unsigned sum = 0;
  for (std::uint8_t byte : decoded->rgba()) sum += byte;
  sink = sum;
  const image::UIImage copy = *decoded;
  if (!(copy == *decoded)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  checkImage(bytes);

  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const auto decoded = foundation::base64Decode(text)) {
    const auto again = foundation::base64Decode(foundation::base64Encode(*decoded));
    if (!again || *again != *decoded) std::abort();
    if (decoded->size() != size / 4 * 3 - (text.ends_with("==") ? 2 : text.ends_with('=') ? 1 : 0))
      std::abort();
    checkImage(*decoded);
  }
  return 0;
}
