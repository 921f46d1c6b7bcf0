#include "platform/image/ui_image.hpp"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

// The over-limit cases must fail before anything sized by the header is allocated. The codecs
// allocate with malloc, not operator new, so the test watches malloc itself: in a plain build by
// interposing it, under AddressSanitizer by capping the size of any single allocation (a larger
// request then aborts the test).
#if defined(__SANITIZE_ADDRESS__)
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options() {
  return "max_allocation_size_mb=256";
}
namespace {
constexpr bool watchingMalloc = false;
std::size_t largestRequest() {
  return 0;
}
void resetLargestRequest() {}
}  // namespace
#else
extern "C" void* __libc_malloc(std::size_t size);
extern "C" void* __libc_calloc(std::size_t count, std::size_t size);
extern "C" void* __libc_realloc(void* pointer, std::size_t size);
namespace {
constexpr bool watchingMalloc = true;
std::atomic<std::size_t> largest{0};
void note(std::size_t size) {
  std::size_t seen = largest.load(std::memory_order_relaxed);
  while (size > seen && !largest.compare_exchange_weak(seen, size, std::memory_order_relaxed)) {
  }
}
std::size_t largestRequest() {
  return largest.load();
}
void resetLargestRequest() {
  largest.store(0);
}
}  // namespace
extern "C" void* malloc(std::size_t size) noexcept {
  note(size);
  return __libc_malloc(size);
}
extern "C" void* calloc(std::size_t count, std::size_t size) noexcept {
  note(count * size);
  return __libc_calloc(count, size);
}
extern "C" void* realloc(void* pointer, std::size_t size) noexcept {
  note(size);
  return __libc_realloc(pointer, size);
}
#endif

namespace {

using image::Format;
using image::UIImage;
using Bytes = std::vector<std::uint8_t>;
using namespace std::literals;

// The files in fixtures/ are made by make_fixtures.cpp there, with the codecs' own encoders.
Bytes fixture(const std::string& name) {
  std::ifstream in(TOLVEX_IMAGE_FIXTURES "/" + name, std::ios::binary);
  EXPECT_TRUE(in) << "no fixture " << name;
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

struct Sample {
  std::uint32_t x;
  std::uint32_t y;
  std::array<int, 4> rgba;
};

struct ValidCase {
  std::string file;
  Format format;
  std::uint32_t width;
  std::uint32_t height;
  int tolerance;
  std::vector<Sample> samples;
};

constexpr int exact = 0;
constexpr int lossy = 16;
const ValidCase validCases[] = {
    {"rgba.png", Format::png, 3, 2, exact, {{0, 0, {0, 0, 200, 255}}, {2, 1, {80, 60, 160, 165}}}},
    {"palette-trns.png",
     Format::png,
     2,
     1,
     exact,
     {{0, 0, {10, 20, 30, 255}}, {1, 0, {200, 100, 50, 128}}}},
    {"grey-key.png", Format::png, 2, 1, exact, {{0, 0, {7, 7, 7, 0}}, {1, 0, {8, 8, 8, 255}}}},
    {"halves.jpg",
     Format::jpeg,
     16,
     16,
     lossy,
     {{0, 0, {250, 20, 30, 255}}, {15, 15, {10, 20, 240, 255}}}},
    {"halves-grey.jpg",
     Format::jpeg,
     16,
     16,
     lossy,
     {{0, 0, {90, 90, 90, 255}}, {15, 15, {42, 42, 42, 255}}}},
    {"transparent-index.gif",
     Format::gif,
     4,
     3,
     exact,
     {{0, 0, {255, 0, 0, 255}}, {3, 0, {0, 0, 0, 0}}, {3, 2, {0, 255, 0, 255}}}},
    {"interlaced-frame.gif",
     Format::gif,
     5,
     12,
     exact,
     {{0, 0, {0, 0, 0, 0}},
      {1, 2, {255, 0, 0, 255}},
      {3, 3, {0, 255, 0, 255}},
      {2, 7, {0, 0, 255, 255}},
      {1, 10, {0, 0, 255, 255}},
      {4, 5, {0, 0, 0, 0}},
      {2, 11, {0, 0, 0, 0}}}},
    {"rgba-lossless.webp",
     Format::webp,
     3,
     2,
     exact,
     {{0, 0, {0, 0, 200, 255}}, {2, 1, {80, 60, 160, 165}}}},
    {"halves-lossy.webp",
     Format::webp,
     16,
     16,
     lossy,
     {{0, 0, {250, 20, 30, 255}}, {15, 15, {10, 20, 240, 255}}}},
};

TEST(UIImageDecoding, ReadsSmallFilesOfEachFormat) {
  for (const ValidCase& c : validCases) {
    SCOPED_TRACE(c.file);
    const auto decoded = UIImage::fromData(fixture(c.file));
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->format(), c.format);
    EXPECT_EQ(decoded->width(), c.width);
    EXPECT_EQ(decoded->height(), c.height);
    ASSERT_EQ(decoded->rgba().size(), std::size_t{c.width} * c.height * 4);
    for (const Sample& s : c.samples) {
      const std::uint8_t* px = &decoded->rgba()[(std::size_t{s.y} * c.width + s.x) * 4];
      for (int channel = 0; channel < 4; ++channel) {
        EXPECT_NEAR(px[channel], s.rgba[channel], c.tolerance)
            << "pixel " << s.x << "," << s.y << " channel " << channel;
      }
    }
  }
}

TEST(UIImageDecoding, RejectsEveryTruncationOfAValidFile) {
  testing::internal::CaptureStderr();
  for (const ValidCase& c : validCases) {
    const Bytes file = fixture(c.file);
    for (std::size_t length = 0; length < file.size(); ++length) {
      EXPECT_FALSE(UIImage::fromData(std::span(file).first(length)))
          << c.file << " cut to " << length << " of " << file.size() << " bytes";
    }
  }
  // libjpeg reports a file cut short as a warning; it must stay out of the host's output.
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(UIImageDecoding, RejectsDamagedFiles) {
  for (const char* file :
       {"bad-ihdr-checksum.png", "bad-idat-data.png", "bad-iend-checksum.png",
        "bad-text-checksum.png",  // an ancillary chunk: damage all the same
        "unknown-critical-chunk.png", "no-idat.png",
        "lossless-coding.jpg",  // libjpeg cannot decode it
        "no-colour-map.gif", "no-frame.gif", "unknown-record.gif", "riff-size-beyond-file.webp",
        "unknown-chunk.webp",
        "wave.riff",      // RIFF, but sound
        "animated.webp",  // its first frame alone would need the demuxer
        // A GIF frame must lie within its screen: never clipped, never growing the screen.
        "frame-larger-than-screen.gif", "frame-wider-than-screen.gif", "frame-past-right-edge.gif",
        "frame-past-bottom-edge.gif", "frame-far-outside.gif", "frame-of-no-width.gif",
        "screen-of-no-height.gif"}) {
    EXPECT_FALSE(UIImage::fromData(fixture(file))) << file;
  }
  // The files above are the ones below with one fault each.
  for (const char* file : {"rgba.png", "rgba-lossless.webp", "frame-8x8.gif"})
    EXPECT_TRUE(UIImage::fromData(fixture(file))) << file;
}

TEST(UIImageDecoding, RejectsEmptyUnknownAndRandomBytes) {
  std::mt19937 random(20240601);
  const std::vector<std::string_view> magics = {""sv,
                                                "\x89PNG\r\n\x1a\n"sv,
                                                "\xff\xd8\xff"sv,
                                                "GIF87a"sv,
                                                "GIF89a"sv,
                                                "RIFF\x20\0\0\0WEBP"sv,
                                                "RIFF\x20\0\0\0WEBPVP8 "sv,
                                                "RIFF\x20\0\0\0WEBPVP8L"sv,
                                                "RIFF\x20\0\0\0WEBPVP8X"sv};
  EXPECT_FALSE(UIImage::fromData({}));
  for (std::string_view magic : magics) {
    for (std::size_t length : {0, 1, 7, 64, 1000, 4096}) {
      Bytes bytes(magic.begin(), magic.end());
      for (std::size_t i = 0; i < length; ++i) bytes.push_back(static_cast<std::uint8_t>(random()));
      EXPECT_FALSE(UIImage::fromData(bytes)) << magic << " + " << length << " random bytes";
    }
  }
  // Almost-magic is no magic.
  for (std::string_view text : {"\x89PNG\r\n\x1a", "GIF88a", "\xff\xd8", "RIFF"}) {
    EXPECT_FALSE(UIImage::fromData(Bytes(text.begin(), text.end()))) << text;
  }
}

TEST(UIImageLimits, HugeDeclaredSizesFailFastWithoutAllocating) {
  for (const char* file :
       {"huge-60000x60000.png", "huge-60000x1.png", "huge-2pow31x1.png", "huge-60000x60000.jpg",
        "huge-screen-and-frame.gif", "huge-frame-on-small-screen.gif", "huge-canvas.webp",
        "huge-lossless-16383.webp"}) {
    const Bytes bytes = fixture(file);
    resetLargestRequest();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(UIImage::fromData(bytes)) << file;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << file;
    if (watchingMalloc) {
      EXPECT_LT(largestRequest(), std::size_t{1} << 20) << file;
    }
  }
}

TEST(UIImageLimits, SidesUpToTheLimitAreAccepted) {
  const std::pair<const char*, bool> cases[] = {
      {"side-4096x4096.png", true}, {"side-4097x1.png", false}, {"side-1x4097.png", false},
      {"side-4096x1.jpg", true},    {"side-4097x1.jpg", false}, {"side-1x4096.gif", true},
      {"side-1x4097.gif", false},   {"side-4096x1.webp", true}, {"side-4097x1.webp", false},
  };
  for (const auto& [file, accepted] : cases) {
    const auto decoded = UIImage::fromData(fixture(file));
    EXPECT_EQ(decoded.has_value(), accepted) << file;
    if (decoded) {
      EXPECT_EQ(decoded->rgba().size(), std::size_t{decoded->width()} * decoded->height() * 4);
    }
  }
}

TEST(UIImageGif, ShowsOnlyTheFirstFrame) {
  const auto first = UIImage::fromData(fixture("transparent-index.gif"));
  const auto animated = UIImage::fromData(fixture("two-frames.gif"));
  ASSERT_TRUE(first && animated);
  EXPECT_EQ(*animated, *first);
}

TEST(UIImageValue, EqualityIsSizeAndPixels) {
  const auto png = UIImage::fromData(fixture("rgba.png"));
  const auto webp = UIImage::fromData(fixture("rgba-lossless.webp"));
  const auto changed = UIImage::fromData(fixture("rgba-one-bit-changed.png"));
  const auto reshaped = UIImage::fromData(fixture("rgba-as-2x3.png"));  // the same bytes
  ASSERT_TRUE(png && webp && changed && reshaped);

  const UIImage copy = *png;
  EXPECT_EQ(copy.rgba().data(), png->rgba().data());  // copies share their pixels
  EXPECT_EQ(copy, *png);
  EXPECT_EQ(*webp, *png);  // where the pixels came from does not count
  EXPECT_NE(*changed, *png);
  EXPECT_TRUE(std::ranges::equal(reshaped->rgba(), png->rgba()));
  EXPECT_NE(*reshaped, *png);
}

}  // namespace
