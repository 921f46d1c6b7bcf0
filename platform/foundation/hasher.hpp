#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace foundation {

// SipHash with C compression rounds and D finalisation rounds, fed incrementally.
template <int C, int D>
class SipHash {
 public:
  SipHash(std::uint64_t k0, std::uint64_t k1) noexcept
      : v0_(k0 ^ 0x736f6d6570736575ULL),
        v1_(k1 ^ 0x646f72616e646f6dULL),
        v2_(k0 ^ 0x6c7967656e657261ULL),
        v3_(k1 ^ 0x7465646279746573ULL) {}

  void write(const std::uint8_t* data, std::size_t length) noexcept {
    total_ += length;
    while (length > 0 && pendingBytes_ != 0) {
      appendPending(*data++);
      --length;
    }
    for (; length >= 8; data += 8, length -= 8) {
      std::uint64_t word = 0;
      for (int i = 7; i >= 0; --i) word = (word << 8) | data[i];
      compress(word);
    }
    while (length-- > 0) appendPending(*data++);
  }

  std::uint64_t finish() const noexcept {
    SipHash s = *this;
    const std::uint64_t last = s.pending_ | (static_cast<std::uint64_t>(s.total_ & 0xff) << 56);
    s.compress(last);
    s.v2_ ^= 0xff;
    for (int i = 0; i < D; ++i) s.round();
    return s.v0_ ^ s.v1_ ^ s.v2_ ^ s.v3_;
  }

 private:
  void appendPending(std::uint8_t byte) noexcept {
    pending_ |= static_cast<std::uint64_t>(byte) << (8 * pendingBytes_);
    if (++pendingBytes_ == 8) {
      compress(pending_);
      pending_ = 0;
      pendingBytes_ = 0;
    }
  }
  void compress(std::uint64_t word) noexcept {
    v3_ ^= word;
    for (int i = 0; i < C; ++i) round();
    v0_ ^= word;
  }
  void round() noexcept {
    v0_ += v1_;
    v1_ = std::rotl(v1_, 13);
    v1_ ^= v0_;
    v0_ = std::rotl(v0_, 32);
    v2_ += v3_;
    v3_ = std::rotl(v3_, 16);
    v3_ ^= v2_;
    v0_ += v3_;
    v3_ = std::rotl(v3_, 21);
    v3_ ^= v0_;
    v2_ += v1_;
    v1_ = std::rotl(v1_, 17);
    v1_ ^= v2_;
    v2_ = std::rotl(v2_, 32);
  }

  std::uint64_t v0_, v1_, v2_, v3_;
  std::uint64_t pending_ = 0;
  unsigned pendingBytes_ = 0;
  std::uint64_t total_ = 0;
};

// The hasher that records feed: SipHash-1-3 under a key drawn at random once per process, so hash
// values differ from run to run and are never worth storing or sending.
class Hasher {
 public:
  Hasher() noexcept;
  // A hasher whose key is the process key mixed with the caller's seed.
  explicit Hasher(std::uint64_t seed) noexcept;

  void combine(std::uint64_t word) noexcept;
  void combine(std::uint8_t byte) noexcept;
  // The bytes of the string's composed (NFC) form, then their count as a word, so that
  // canonically equivalent strings feed alike and adjacent strings never run together.
  void combine(std::string_view text);
  // Only the exact kinds above: an int or a bool must say which one it means.
  template <class T>
  void combine(T) = delete;

  std::size_t finalize() const noexcept { return static_cast<std::size_t>(state_.finish()); }

 private:
  SipHash<1, 3> state_;
};

// How the platform's value types feed a hasher.
template <class H>
void hashInto(H& hasher, double value) {
  // +0.0 and -0.0 are equal, so both feed the zero word.
  hasher.combine(value == 0.0 ? std::uint64_t{0} : std::bit_cast<std::uint64_t>(value));
}

template <class H, class T>
void hashInto(H& hasher, const T& value)
  requires requires { value.hashInto(hasher); }
{
  value.hashInto(hasher);
}

template <class H, class T>
void hashInto(H& hasher, const std::optional<T>& value) {
  if (!value) {
    hasher.combine(std::uint8_t{0});
    return;
  }
  hasher.combine(std::uint8_t{1});
  hashInto(hasher, *value);
}

// The finalised hash of a value that has hashInto, as std::hash specialisations want it.
template <class T>
std::size_t hashValue(const T& value) {
  Hasher hasher;
  hashInto(hasher, value);
  return hasher.finalize();
}

}  // namespace foundation
