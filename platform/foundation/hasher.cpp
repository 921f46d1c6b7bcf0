#include "platform/foundation/hasher.hpp"

#include "platform/foundation/string.hpp"

#include <random>

namespace foundation {
namespace {

struct ProcessKey {
  std::uint64_t k0;
  std::uint64_t k1;
};

const ProcessKey& processKey() {
  static const ProcessKey key = [] {
    std::random_device device;
    auto word = [&device] {
      return (static_cast<std::uint64_t>(device()) << 32) | static_cast<std::uint64_t>(device());
    };
    return ProcessKey{word(), word()};
  }();
  return key;
}

}  // namespace

Hasher::Hasher() noexcept : state_(processKey().k0, processKey().k1) {}

Hasher::Hasher(std::uint64_t seed) noexcept
    : state_(processKey().k0 ^ seed, processKey().k1 ^ std::rotl(seed, 29)) {}

void Hasher::combine(std::uint64_t word) noexcept {
  std::uint8_t bytes[8];
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<std::uint8_t>(word >> (8 * i));
  state_.write(bytes, sizeof bytes);
}

void Hasher::combine(std::uint8_t byte) noexcept { state_.write(&byte, 1); }

void Hasher::combine(std::string_view text) {
  std::string composed;
  if (!isAscii(text)) {
    composed = nfc(text);
    text = composed;
  }
  state_.write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  combine(static_cast<std::uint64_t>(text.size()));
}

}  // namespace foundation
