#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace foundation {

// Standard base64 (RFC 4648 alphabet, '+' and '/'), padded to a multiple of four characters.
// Anything else fails the whole decode: whitespace and line breaks are not skipped, the URL-safe
// alphabet is not read, and '=' may appear only as the last one or two characters. Empty text is
// zero bytes, not a failure.
std::optional<std::vector<std::uint8_t>> base64Decode(std::string_view text);

// Standard base64 with padding, no line breaks.
std::string base64Encode(std::span<const std::uint8_t> bytes);

}  // namespace foundation
