#include "platform/image/image_cache.hpp"

#include "platform/foundation/base64.hpp"

#include <algorithm>
#include <cstring>
#include <new>

namespace image {
namespace {

constexpr std::uint64_t kMultiplier = 0x9e3779b97f4a7c15ull;

std::uint64_t load64(const char* p) noexcept {
  std::uint64_t word;
  std::memcpy(&word, p, 8);
  return word;
}

std::uint64_t mix(std::uint64_t h, std::uint64_t word) noexcept {
  h = (h ^ word) * kMultiplier;
  return (h << 31) | (h >> 33);
}

std::uint64_t finish(std::uint64_t h) noexcept {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ull;
  return h ^ (h >> 33);
}

std::size_t pixelBytes(const std::optional<UIImage>& image) {
  return image ? image->rgba().size() : 0;
}

}  // namespace

std::uint64_t contentHash(std::string_view text) noexcept {
  const char* p = text.data();
  std::size_t n = text.size();
  std::uint64_t a = n, b = kMultiplier, c = ~n, d = kMultiplier >> 1;
  for (; n >= 32; n -= 32, p += 32) {
    a = mix(a, load64(p));
    b = mix(b, load64(p + 8));
    c = mix(c, load64(p + 16));
    d = mix(d, load64(p + 24));
  }
  for (; n >= 8; n -= 8, p += 8) a = mix(a, load64(p));
  std::uint64_t tail = 0;
  if (n > 0) std::memcpy(&tail, p, n);
  a = mix(a, tail);
  return finish(a ^ finish(b) ^ (finish(c) * 3) ^ (finish(d) * 5));
}

std::optional<UIImage> imageFromBase64(std::string_view text) {
  const auto bytes = foundation::base64Decode(text);
  return bytes ? UIImage::fromData(*bytes) : std::nullopt;
}

ImageCache::ImageCache() : ImageCache(Limits{}) {}

ImageCache::ImageCache(Limits limits, Hash hash) : limits_(limits), hash_(hash) {}

ImageCache::Entry* ImageCache::find(std::uint64_t hash, std::string_view text) {
  for (Entry& entry : entries_) {
    if (entry.hash == hash && entry.text == text) return &entry;
  }
  return nullptr;
}

std::optional<UIImage> ImageCache::fromBase64(std::string_view text) {
  {
    // The places that show an icon ask for it one after another: the entry used last is compared
    // first, which spares hashing the text (most of a hit's cost) in the common case.
    const std::lock_guard lock(mutex_);
    if (mostRecent_ < entries_.size() && entries_[mostRecent_].text == text) {
      ++hits_;
      entries_[mostRecent_].lastUse = ++clock_;
      return entries_[mostRecent_].image;
    }
  }
  const std::uint64_t hash = hash_(text);
  {
    const std::lock_guard lock(mutex_);
    if (Entry* entry = find(hash, text)) {
      ++hits_;
      entry->lastUse = ++clock_;
      mostRecent_ = static_cast<std::size_t>(entry - entries_.data());
      return entry->image;
    }
    ++misses_;
  }
  std::optional<UIImage> image = imageFromBase64(text);
  // A cache that cannot grow still answers: keeping is an optimisation.
  try {
    keep(hash, text, image);
  } catch (const std::bad_alloc&) {
  }
  return image;
}

void ImageCache::keep(std::uint64_t hash, std::string_view text,
                      const std::optional<UIImage>& image) {
  const std::size_t bytes = text.size() + pixelBytes(image) + sizeof(Entry);
  if (limits_.entries == 0 || bytes > limits_.bytes) return;
  std::string key(text);  // copied before the lock
  const std::lock_guard lock(mutex_);
  if (find(hash, text)) return;  // another thread decoded it meanwhile
  while (!entries_.empty() &&
         (entries_.size() >= limits_.entries || bytes_ + bytes > limits_.bytes)) {
    const auto oldest =
        std::min_element(entries_.begin(), entries_.end(),
                         [](const Entry& x, const Entry& y) { return x.lastUse < y.lastUse; });
    bytes_ -= oldest->bytes;
    if (oldest != entries_.end() - 1) *oldest = std::move(entries_.back());
    entries_.pop_back();
  }
  entries_.push_back(Entry{hash, std::move(key), image, bytes, ++clock_});
  mostRecent_ = entries_.size() - 1;
  bytes_ += bytes;
}

ImageCache::Counts ImageCache::counts() const {
  const std::lock_guard lock(mutex_);
  return Counts{hits_, misses_, entries_.size(), bytes_};
}

}  // namespace image
