#pragma once

#include "platform/image/ui_image.hpp"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace image {

// A 64-bit hash of text, fast enough to run over a 3 KB icon on every lookup (four independent
// multiply lanes). Not keyed and not collision resistant: the cache compares the text as well.
std::uint64_t contentHash(std::string_view text) noexcept;

// The image that base64 text decodes to, as foundation::base64Decode and UIImage::fromData give
// it; nothing when either fails.
std::optional<UIImage> imageFromBase64(std::string_view text);

// Images decoded from base64 text, kept by the text. A sender repeats the same icon in every
// update and several views show it, so each distinct text is decoded once while it is kept. It
// belongs to whoever draws (a command, the page's preview), which hands it to the views it builds.
// Safe to use from several threads at once; decoding happens outside the lock, so two threads
// missing on one text at the same moment may both decode it, and one of the two results is kept.
class ImageCache {
 public:
  using Hash = std::uint64_t (*)(std::string_view) noexcept;

  // Both bounds count what an entry holds: its text and its pixels. An image larger than the byte
  // bound on its own is returned but not kept.
  struct Limits {
    std::size_t entries = 32;
    std::size_t bytes = std::size_t{8} << 20;
  };

  struct Counts {
    std::uint64_t hits = 0;
    std::uint64_t misses = 0;  // decodes made
    std::size_t entries = 0;
    std::size_t bytes = 0;
  };

  // `hash` is replaceable so that tests can force collisions.
  ImageCache();
  explicit ImageCache(Limits limits, Hash hash = contentHash);

  // imageFromBase64(text); a failure is kept too, so a bad icon is not decoded again either.
  std::optional<UIImage> fromBase64(std::string_view text);

  Counts counts() const;

 private:
  struct Entry {
    std::uint64_t hash;
    std::string text;
    std::optional<UIImage> image;
    std::size_t bytes;
    std::uint64_t lastUse;
  };

  Entry* find(std::uint64_t hash, std::string_view text);
  void keep(std::uint64_t hash, std::string_view text, const std::optional<UIImage>& image);

  const Limits limits_;
  const Hash hash_;
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;  // few: a linear scan beats a map
  std::size_t mostRecent_ = 0;  // index of the entry used last; may be stale, so bounds-checked
  std::size_t bytes_ = 0;
  std::uint64_t clock_ = 0;
  std::uint64_t hits_ = 0;
  std::uint64_t misses_ = 0;
};

}  // namespace image
