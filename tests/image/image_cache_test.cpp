#include "platform/image/image_cache.hpp"
#include "platform/foundation/base64.hpp"
#include "support/sample_icons.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using image::ImageCache;

std::optional<image::UIImage> direct(const std::string& text) {
  const auto bytes = foundation::base64Decode(text);
  return bytes ? image::UIImage::fromData(*bytes) : std::nullopt;
}

const std::vector<std::string>& texts() {
  static const std::vector<std::string> all{samples::squareIcon, samples::wideIcon,
                                            "aGVsbG8=", "bm90IGFuIGltYWdl", "not base64"};
  return all;
}

std::uint64_t alwaysZero(std::string_view) noexcept {
  return 0;
}

// Whatever the hash and the bounds, each text gets the image it decodes to on its own; only the
// number of decodes changes.
TEST(ImageCache, AnswersAsADirectDecodeWithinItsBounds) {
  const struct {
    const char* name;
    ImageCache::Limits limits;
    ImageCache::Hash hash;
    std::vector<int> lookups;  // indices into texts()
    std::uint64_t misses;
    std::size_t entries;
  } cases[] = {
      {"repeats hit", {32, 1 << 20}, image::contentHash, {0, 0, 1, 0, 1, 3, 3}, 3, 3},
      {"colliding hashes told apart", {32, 1 << 20}, alwaysZero, {0, 1, 0, 1, 2, 2}, 3, 3},
      {"least recently used evicted", {2, 1 << 20}, image::contentHash, {0, 1, 0, 2, 0, 1}, 4, 2},
      {"nothing fits in the bytes", {8, 64}, image::contentHash, {0, 0, 1}, 3, 0},
      {"no entries", {0, 1 << 20}, image::contentHash, {0, 0}, 2, 0},
  };
  for (const auto& c : cases) {
    ImageCache cache(c.limits, c.hash);
    for (const int i : c.lookups)
      EXPECT_EQ(cache.fromBase64(texts()[i]), direct(texts()[i])) << c.name;
    const auto counts = cache.counts();
    EXPECT_EQ(counts.misses, c.misses) << c.name;
    EXPECT_EQ(counts.hits, c.lookups.size() - c.misses) << c.name;
    EXPECT_EQ(counts.entries, c.entries) << c.name;
    EXPECT_LE(counts.bytes, c.limits.bytes) << c.name;
  }
}

// Renders from several threads share one cache; run under the sanitizers this also checks the
// locking. Two entries for five texts keep it evicting all the time.
TEST(ImageCache, SharedBetweenThreads) {
  ImageCache cache({2, 1 << 20}, alwaysZero);
  std::vector<std::thread> threads;
  std::vector<int> wrong(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 300; ++i) {
        const std::string& text = texts()[(i * (t + 1)) % texts().size()];
        if (cache.fromBase64(text) != direct(text)) ++wrong[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
  EXPECT_LE(cache.counts().entries, 2u);
}

}  // namespace
