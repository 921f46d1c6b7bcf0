#include "platform/host/serve/random_id.hpp"

#include "platform/foundation/base64.hpp"

#include <array>
#include <cstdint>
#include <random>

namespace host::serve {
namespace {

// Identifiers, not secrets: a seeded generator per thread is enough.
std::mt19937_64& generator() {
  thread_local std::mt19937_64 engine{std::random_device{}()};
  return engine;
}

constexpr char hexDigits[] = "0123456789abcdef";

}  // namespace

std::string newUuid() {
  std::string text = newHexToken(32);
  text[12] = '4';
  text[16] = hexDigits[8 + (generator()() & 3)];
  return text.substr(0, 8) + '-' + text.substr(8, 4) + '-' + text.substr(12, 4) + '-' +
         text.substr(16, 4) + '-' + text.substr(20);
}

std::string newHexToken(std::size_t digits) {
  std::string text(digits, '0');
  std::uint64_t bits = 0;
  for (std::size_t i = 0; i < digits; ++i) {
    if (i % 16 == 0) bits = generator()();
    text[i] = hexDigits[bits & 15];
    bits >>= 4;
  }
  return text;
}

std::string newChannelId() {
  std::array<std::uint8_t, 16> bytes{};
  for (auto& b : bytes) b = static_cast<std::uint8_t>(generator()());
  return foundation::base64Encode(bytes);
}

}  // namespace host::serve
