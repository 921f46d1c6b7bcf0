#include "platform/host/serve/common/random_id.hpp"

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
  // Written in place: two identifiers per push.
  std::string text(36, '-');
  std::uint64_t bits = generator()();
  std::size_t drawn = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23) continue;
    if (drawn++ == 16) bits = generator()();
    text[i] = hexDigits[bits & 15];
    bits >>= 4;
  }
  text[14] = '4';
  text[19] = hexDigits[8 + (generator()() & 3)];
  return text;
}

std::string newApnsId() {
  std::string id = newUuid();
  for (char& c : id) {
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  }
  return id;
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
