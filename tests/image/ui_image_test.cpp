#include "platform/image/ui_image.hpp"

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <spng.h>
#include <turbojpeg.h>
#include <webp/encode.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
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

// ---------------------------------------------------------------------------------------------
// Encoders: every file the tests read is made here.

struct Pixels {
  std::uint32_t width;
  std::uint32_t height;
  Bytes rgba;
};

Pixels pattern(std::uint32_t width, std::uint32_t height) {
  Pixels p{width, height, Bytes(std::size_t{width} * height * 4)};
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      std::uint8_t* px = &p.rgba[(std::size_t{y} * width + x) * 4];
      px[0] = static_cast<std::uint8_t>(x * 40);
      px[1] = static_cast<std::uint8_t>(y * 60);
      px[2] = static_cast<std::uint8_t>(200 - x * 20);
      px[3] = static_cast<std::uint8_t>(255 - (x + y) * 30);
    }
  }
  return p;
}

struct PngOptions {
  std::uint8_t colorType = SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
  std::uint8_t bitDepth = 8;
  std::vector<spng_plte_entry> palette;
  std::optional<spng_trns> transparency;
};

// `raw` is in the file's own layout: samples of the colour type, rows without filter bytes.
Bytes encodePng(std::uint32_t width, std::uint32_t height, const Bytes& raw,
                const PngOptions& options = {}) {
  spng_ctx* ctx = spng_ctx_new(SPNG_CTX_ENCODER);
  spng_set_option(ctx, SPNG_ENCODE_TO_BUFFER, 1);
  spng_ihdr ihdr{width, height, options.bitDepth, options.colorType, 0, 0, 0};
  spng_set_ihdr(ctx, &ihdr);
  if (!options.palette.empty()) {
    spng_plte plte{};
    plte.n_entries = static_cast<std::uint32_t>(options.palette.size());
    std::copy(options.palette.begin(), options.palette.end(), plte.entries);
    spng_set_plte(ctx, &plte);
  }
  if (options.transparency) {
    spng_trns trns = *options.transparency;
    spng_set_trns(ctx, &trns);
  }
  const int status =
      spng_encode_image(ctx, raw.data(), raw.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE);
  EXPECT_EQ(status, 0) << spng_strerror(status);
  std::size_t length = 0;
  int error = 0;
  auto* buffer = static_cast<std::uint8_t*>(spng_get_png_buffer(ctx, &length, &error));
  Bytes png(buffer, buffer + length);
  std::free(buffer);
  spng_ctx_free(ctx);
  return png;
}

Bytes encodePng(const Pixels& p) {
  return encodePng(p.width, p.height, p.rgba);
}

Bytes encodeJpeg(const Pixels& p, int subsampling = TJSAMP_444) {
  tjhandle handle = tjInitCompress();
  unsigned char* buffer = nullptr;
  unsigned long length = 0;
  const int status =
      tjCompress2(handle, p.rgba.data(), static_cast<int>(p.width), 0, static_cast<int>(p.height),
                  TJPF_RGBA, &buffer, &length, subsampling, 95, 0);
  EXPECT_EQ(status, 0) << tjGetErrorStr2(handle);
  Bytes jpeg(buffer, buffer + length);
  tjFree(buffer);
  tjDestroy(handle);
  return jpeg;
}

Bytes encodeWebp(const Pixels& p, bool lossless) {
  std::uint8_t* buffer = nullptr;
  const int width = static_cast<int>(p.width);
  const int height = static_cast<int>(p.height);
  const std::size_t length =
      lossless ? WebPEncodeLosslessRGBA(p.rgba.data(), width, height, width * 4, &buffer)
               : WebPEncodeRGBA(p.rgba.data(), width, height, width * 4, 90, &buffer);
  EXPECT_GT(length, 0u);
  Bytes webp(buffer, buffer + length);
  WebPFree(buffer);
  return webp;
}

struct GifFrame {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool interlaced = false;
  std::vector<GifColorType> localColors;  // empty: the global map
  Bytes indices;                          // row-major, width * height
};

struct GifFile {
  int width = 0;
  int height = 0;
  std::vector<GifColorType> globalColors;
  int transparentIndex = NO_TRANSPARENT_COLOR;
  std::vector<GifFrame> frames;
};

int appendToBytes(GifFileType* gif, const GifByteType* data, int length) {
  auto* out = static_cast<Bytes*>(gif->UserData);
  out->insert(out->end(), data, data + length);
  return length;
}

Bytes encodeGif(const GifFile& spec) {
  Bytes out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, appendToBytes, &error);
  EGifSetGifVersion(gif, true);
  auto makeMap = [](const std::vector<GifColorType>& colors) -> ColorMapObject* {
    return colors.empty() ? nullptr
                          : GifMakeMapObject(static_cast<int>(colors.size()), colors.data());
  };
  ColorMapObject* global = makeMap(spec.globalColors);
  EGifPutScreenDesc(gif, spec.width, spec.height, 8, 0, global);
  GifFreeMapObject(global);
  for (const GifFrame& frame : spec.frames) {
    if (spec.transparentIndex != NO_TRANSPARENT_COLOR) {
      GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, spec.transparentIndex};
      GifByteType extension[4];
      EGifGCBToExtension(&control, extension);
      EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension);
    }
    ColorMapObject* local = makeMap(frame.localColors);
    EGifPutImageDesc(gif, frame.left, frame.top, frame.width, frame.height, frame.interlaced,
                     local);
    GifFreeMapObject(local);
    std::vector<int> rows;
    if (frame.interlaced) {
      for (auto [first, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
        for (int row = first; row < frame.height; row += step) rows.push_back(row);
    } else {
      for (int row = 0; row < frame.height; ++row) rows.push_back(row);
    }
    for (int row : rows) {
      Bytes line(frame.indices.begin() + row * frame.width,
                 frame.indices.begin() + (row + 1) * frame.width);
      EGifPutLine(gif, line.data(), frame.width);
    }
  }
  EGifCloseFile(gif, &error);
  return out;
}

const std::vector<GifColorType> fourColors = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {9, 9, 9}};

// A 4 x 3 screen filled by one frame, index 3 transparent.
GifFile tinyGif() {
  GifFrame frame{0, 0, 4, 3, false, {}, {0, 1, 2, 3, 1, 2, 3, 0, 2, 3, 0, 1}};
  return GifFile{4, 3, fourColors, 3, {frame}};
}

// ---------------------------------------------------------------------------------------------
// Patching headers.

std::uint32_t crc32(const std::uint8_t* data, std::size_t length) {
  std::uint32_t crc = 0xffffffffu;
  for (std::size_t i = 0; i < length; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

void putBigEndian32(Bytes& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

// Offset of the length field of the first chunk of this type.
std::size_t findPngChunk(const Bytes& png, std::string_view type) {
  for (std::size_t at = 8; at + 8 <= png.size();) {
    const std::uint32_t length =
        (std::uint32_t{png[at]} << 24) | (png[at + 1] << 16) | (png[at + 2] << 8) | png[at + 3];
    if (std::memcmp(&png[at + 4], type.data(), 4) == 0) return at;
    at += 12 + length;
  }
  ADD_FAILURE() << "no " << type << " chunk";
  return 0;
}

Bytes pngChunk(std::string_view type, const Bytes& data, std::uint32_t crcFlip = 0) {
  Bytes chunk(8);
  putBigEndian32(chunk, 0, static_cast<std::uint32_t>(data.size()));
  std::memcpy(&chunk[4], type.data(), 4);
  chunk.insert(chunk.end(), data.begin(), data.end());
  chunk.resize(chunk.size() + 4);
  putBigEndian32(chunk, chunk.size() - 4, crc32(&chunk[4], 4 + data.size()) ^ crcFlip);
  return chunk;
}

Bytes insertBefore(Bytes file, std::size_t at, const Bytes& insert) {
  file.insert(file.begin() + static_cast<long>(at), insert.begin(), insert.end());
  return file;
}

Bytes withPngSize(Bytes png, std::uint32_t width, std::uint32_t height) {
  putBigEndian32(png, 16, width);
  putBigEndian32(png, 20, height);
  putBigEndian32(png, 29, crc32(&png[12], 17));
  return png;
}

Bytes withJpegSize(Bytes jpeg, std::uint16_t width, std::uint16_t height) {
  for (std::size_t at = 2; at + 9 < jpeg.size();) {
    const std::uint8_t marker = jpeg[at + 1];
    if (marker == 0xc0 || marker == 0xc2) {
      jpeg[at + 5] = static_cast<std::uint8_t>(height >> 8);
      jpeg[at + 6] = static_cast<std::uint8_t>(height);
      jpeg[at + 7] = static_cast<std::uint8_t>(width >> 8);
      jpeg[at + 8] = static_cast<std::uint8_t>(width);
      return jpeg;
    }
    at += 2 + ((jpeg[at + 2] << 8) | jpeg[at + 3]);
  }
  ADD_FAILURE() << "no SOF marker";
  return jpeg;
}

void putLittleEndian16(Bytes& bytes, std::size_t at, int value) {
  bytes[at] = static_cast<std::uint8_t>(value);
  bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

// Offset of the first image descriptor (its ',' separator).
std::size_t findGifFrame(const Bytes& gif) {
  std::size_t at = 13 + ((gif[10] & 0x80) ? 3u << ((gif[10] & 7) + 1) : 0u);
  while (at < gif.size() && gif[at] == '!') {
    at += 2;
    while (at < gif.size() && gif[at] != 0) at += 1 + gif[at];
    ++at;
  }
  EXPECT_EQ(gif.at(at), ',');
  return at;
}

Bytes withGifScreen(Bytes gif, int width, int height) {
  putLittleEndian16(gif, 6, width);
  putLittleEndian16(gif, 8, height);
  return gif;
}

Bytes withGifFrame(Bytes gif, int left, int top, int width, int height) {
  const std::size_t at = findGifFrame(gif);
  putLittleEndian16(gif, at + 1, left);
  putLittleEndian16(gif, at + 3, top);
  putLittleEndian16(gif, at + 5, width);
  putLittleEndian16(gif, at + 7, height);
  return gif;
}

// A lossy WebP with alpha is a VP8X file, whose canvas size is 24 bits a side.
Bytes withWebpCanvas(Bytes webp, std::uint32_t width, std::uint32_t height) {
  EXPECT_EQ(std::string(webp.begin() + 12, webp.begin() + 16), "VP8X");
  for (int i = 0; i < 3; ++i) {
    webp[24 + i] = static_cast<std::uint8_t>((width - 1) >> (8 * i));
    webp[27 + i] = static_cast<std::uint8_t>((height - 1) >> (8 * i));
  }
  return webp;
}

// A lossless WebP holds 14 bits a side in the VP8L header.
Bytes withWebpLosslessSize(Bytes webp, std::uint32_t width, std::uint32_t height) {
  EXPECT_EQ(std::string(webp.begin() + 12, webp.begin() + 16), "VP8L");
  std::uint32_t bits =
      webp[21] | (webp[22] << 8) | (webp[23] << 16) | (static_cast<std::uint32_t>(webp[24]) << 24);
  bits = (bits & 0xf0000000u) | (width - 1) | ((height - 1) << 14);
  for (int i = 0; i < 4; ++i) webp[21 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
  return webp;
}

// An animated WebP holding one lossless frame, assembled by hand since the animation encoder
// lives in a library the product does not use.
Bytes animatedWebp(const Pixels& p) {
  const Bytes still = encodeWebp(p, true);
  const Bytes frameChunk(still.begin() + 12, still.end());  // "VP8L", size, data
  auto le24 = [](Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 3; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  };
  auto le32 = [](Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  };
  Bytes body = {'W', 'E', 'B', 'P', 'V', 'P', '8', 'X'};
  le32(body, 10);
  body.insert(body.end(), {0x12, 0, 0, 0});  // animation and alpha
  le24(body, p.width - 1);
  le24(body, p.height - 1);
  body.insert(body.end(), {'A', 'N', 'I', 'M'});
  le32(body, 6);
  body.insert(body.end(), {0, 0, 0, 0, 0, 0});
  body.insert(body.end(), {'A', 'N', 'M', 'F'});
  le32(body, static_cast<std::uint32_t>(16 + frameChunk.size()));
  le24(body, 0);
  le24(body, 0);
  le24(body, p.width - 1);
  le24(body, p.height - 1);
  le24(body, 100);
  body.push_back(0);
  body.insert(body.end(), frameChunk.begin(), frameChunk.end());
  Bytes file = {'R', 'I', 'F', 'F'};
  le32(file, static_cast<std::uint32_t>(body.size()));
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

// ---------------------------------------------------------------------------------------------

struct Sample {
  std::uint32_t x;
  std::uint32_t y;
  std::array<int, 4> rgba;
};

struct ValidCase {
  std::string name;
  Bytes file;
  Format format;
  std::uint32_t width;
  std::uint32_t height;
  int tolerance;
  std::vector<Sample> samples;
};

ValidCase valid(std::string name, Bytes file, Format format, std::uint32_t width,
                std::uint32_t height, int tolerance, std::vector<Sample> samples) {
  return {std::move(name), std::move(file), format, width, height, tolerance, std::move(samples)};
}

std::vector<ValidCase> validCases() {
  const Pixels p = pattern(3, 2);
  // Palette image whose second entry is half transparent through tRNS.
  PngOptions indexed{SPNG_COLOR_TYPE_INDEXED, 8, {{10, 20, 30, 0}, {200, 100, 50, 0}}, {}};
  spng_trns paletteAlpha{};
  paletteAlpha.n_type3_entries = 2;
  paletteAlpha.type3_alpha[0] = 255;
  paletteAlpha.type3_alpha[1] = 128;
  indexed.transparency = paletteAlpha;
  // Grey image whose value 7 is keyed out through tRNS.
  PngOptions keyed{SPNG_COLOR_TYPE_GRAYSCALE, 8, {}, {}};
  spng_trns greyKey{};
  greyKey.gray = 7;
  keyed.transparency = greyKey;

  GifFile interlaced;
  interlaced.width = 5;
  interlaced.height = 12;
  GifFrame frame{1, 2, 3, 9, true, fourColors, {}};
  for (int row = 0; row < 9; ++row) frame.indices.insert(frame.indices.end(), 3, row % 3);
  interlaced.frames = {frame};

  Pixels solid = pattern(16, 16);
  for (std::size_t i = 0; i < solid.rgba.size(); i += 4) {
    const bool left = (i / 4) % 16 < 8;
    solid.rgba[i] = left ? 250 : 10;
    solid.rgba[i + 1] = 20;
    solid.rgba[i + 2] = left ? 30 : 240;
    solid.rgba[i + 3] = 255;
  }

  const int exact = 0;
  const int lossy = 16;
  return {
      valid("png rgba keeps straight alpha", encodePng(p), Format::png, 3, 2, exact,
            {{0, 0, {0, 0, 200, 255}}, {2, 1, {80, 60, 160, 165}}}),
      valid("png palette with tRNS", encodePng(2, 1, {0, 1}, indexed), Format::png, 2, 1, exact,
            {{0, 0, {10, 20, 30, 255}}, {1, 0, {200, 100, 50, 128}}}),
      valid("png grey with a keyed colour", encodePng(2, 1, {7, 8}, keyed), Format::png, 2, 1,
            exact, {{0, 0, {7, 7, 7, 0}}, {1, 0, {8, 8, 8, 255}}}),
      valid("jpeg", encodeJpeg(solid), Format::jpeg, 16, 16, lossy,
            {{0, 0, {250, 20, 30, 255}}, {15, 15, {10, 20, 240, 255}}}),
      valid("jpeg greyscale", encodeJpeg(solid, TJSAMP_GRAY), Format::jpeg, 16, 16, lossy,
            {{0, 0, {90, 90, 90, 255}}, {15, 15, {42, 42, 42, 255}}}),
      valid("gif with a transparent index", encodeGif(tinyGif()), Format::gif, 4, 3, exact,
            {{0, 0, {255, 0, 0, 255}}, {3, 0, {0, 0, 0, 0}}, {3, 2, {0, 255, 0, 255}}}),
      valid("gif interlaced frame inside a larger screen", encodeGif(interlaced), Format::gif, 5,
            12, exact,
            {{0, 0, {0, 0, 0, 0}},
             {1, 2, {255, 0, 0, 255}},
             {3, 3, {0, 255, 0, 255}},
             {2, 7, {0, 0, 255, 255}},
             {1, 10, {0, 0, 255, 255}},
             {4, 5, {0, 0, 0, 0}},
             {2, 11, {0, 0, 0, 0}}}),
      valid("webp lossless", encodeWebp(p, true), Format::webp, 3, 2, exact,
            {{0, 0, {0, 0, 200, 255}}, {2, 1, {80, 60, 160, 165}}}),
      valid("webp lossy with alpha", encodeWebp(solid, false), Format::webp, 16, 16, lossy,
            {{0, 0, {250, 20, 30, 255}}, {15, 15, {10, 20, 240, 255}}}),
  };
}

TEST(UIImageDecoding, ReadsSmallFilesOfEachFormat) {
  for (const ValidCase& c : validCases()) {
    SCOPED_TRACE(c.name);
    const auto decoded = UIImage::fromData(c.file);
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
  for (const ValidCase& c : validCases()) {
    for (std::size_t length = 0; length < c.file.size(); ++length) {
      EXPECT_FALSE(UIImage::fromData(std::span(c.file).first(length)))
          << c.name << " cut to " << length << " of " << c.file.size() << " bytes";
    }
  }
  // libjpeg reports a file cut short as a warning; it must stay out of the host's output.
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(UIImageDecoding, RejectsDamagedFiles) {
  const Bytes png = encodePng(pattern(3, 2));
  const std::size_t idat = findPngChunk(png, "IDAT");
  auto flipped = [](Bytes bytes, std::size_t at) {
    bytes.at(at) ^= 0x01;
    return bytes;
  };
  const Bytes jpeg = encodeJpeg(pattern(8, 8));
  const Bytes gif = encodeGif(tinyGif());
  const Bytes webp = encodeWebp(pattern(3, 2), true);

  GifFile noColours = tinyGif();
  noColours.globalColors.clear();
  GifFile noFrame = tinyGif();
  noFrame.frames.clear();

  const std::pair<std::string, Bytes> cases[] = {
      {"png IHDR checksum", flipped(png, 29)},
      {"png IDAT data", flipped(png, idat + 10)},
      {"png IEND checksum", flipped(png, png.size() - 1)},
      {"png text chunk checksum", insertBefore(png, idat, pngChunk("tEXt", {'k', 0, 'v'}, 1))},
      {"png unknown critical chunk", insertBefore(png, idat, pngChunk("ABCD", {1, 2}))},
      {"png with no IDAT",
       insertBefore(Bytes(png.begin(), png.begin() + idat), idat, pngChunk("IEND", {}))},
      {"jpeg coded losslessly, which libjpeg cannot decode",
       [&] {
         Bytes lossless = jpeg;
         for (std::size_t at = 2; at + 4 < lossless.size();) {
           if (lossless[at + 1] == 0xc0) {
             lossless[at + 1] = 0xc3;
             break;
           }
           at += 2 + ((lossless[at + 2] << 8) | lossless[at + 3]);
         }
         return lossless;
       }()},
      {"gif without a colour map", encodeGif(noColours)},
      {"gif without a frame", encodeGif(noFrame)},
      {"gif with an unknown record", insertBefore(gif, findGifFrame(gif), {'x'})},
      {"webp RIFF size beyond the file", flipped(webp, 7)},
      {"webp unknown chunk in place of the image",
       [&] {
         Bytes renamed = webp;
         renamed[12] = 'X';
         return renamed;
       }()},
  };
  for (const auto& [name, file] : cases) EXPECT_FALSE(UIImage::fromData(file)) << name;

  // A sound file is RIFF too.
  Bytes wave = webp;
  std::memcpy(&wave[8], "WAVE", 4);
  EXPECT_FALSE(UIImage::fromData(wave));
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
  const Bytes png = encodePng(pattern(3, 2));
  const Bytes gif = encodeGif(tinyGif());
  const std::pair<std::string, Bytes> cases[] = {
      {"png", withPngSize(png, 60000, 60000)},
      {"png wide", withPngSize(png, 60000, 1)},
      {"png beyond 2^31", withPngSize(png, 0x80000000u, 1)},
      {"jpeg", withJpegSize(encodeJpeg(pattern(8, 8)), 60000, 60000)},
      {"gif screen and frame", withGifFrame(withGifScreen(gif, 60000, 60000), 0, 0, 60000, 60000)},
      {"gif frame on a small screen", withGifFrame(gif, 0, 0, 60000, 60000)},
      {"webp canvas", withWebpCanvas(encodeWebp(pattern(3, 2), false), 60000, 60000)},
      {"webp lossless", withWebpLosslessSize(encodeWebp(pattern(3, 2), true), 16383, 16383)},
  };
  for (const auto& [name, file] : cases) {
    resetLargestRequest();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(UIImage::fromData(file)) << name;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << name;
    if (watchingMalloc) {
      EXPECT_LT(largestRequest(), std::size_t{1} << 20) << name;
    }
  }
}

TEST(UIImageLimits, SidesUpToTheLimitAreAccepted) {
  struct Case {
    std::string name;
    std::function<Bytes()> make;
    bool accepted;
  };
  auto grey = [](std::uint32_t w, std::uint32_t h) {
    PngOptions options{SPNG_COLOR_TYPE_GRAYSCALE, 8, {}, {}};
    return encodePng(w, h, Bytes(std::size_t{w} * h, 0x80), options);
  };
  auto gifOf = [](int w, int h) {
    return encodeGif(GifFile{w,
                             h,
                             fourColors,
                             NO_TRANSPARENT_COLOR,
                             {GifFrame{0, 0, w, h, false, {}, Bytes(std::size_t(w) * h, 1)}}});
  };
  const Case cases[] = {
      {"png 4096 x 4096", [&] { return grey(4096, 4096); }, true},
      {"png 4097 x 1", [&] { return grey(4097, 1); }, false},
      {"png 1 x 4097", [&] { return grey(1, 4097); }, false},
      {"jpeg 4096 x 1", [] { return encodeJpeg(pattern(4096, 1)); }, true},
      {"jpeg 4097 x 1", [] { return encodeJpeg(pattern(4097, 1)); }, false},
      {"gif 1 x 4096", [&] { return gifOf(1, 4096); }, true},
      {"gif 1 x 4097", [&] { return gifOf(1, 4097); }, false},
      {"webp 4096 x 1", [] { return encodeWebp(pattern(4096, 1), true); }, true},
      {"webp 4097 x 1", [] { return encodeWebp(pattern(4097, 1), true); }, false},
  };
  for (const Case& c : cases) {
    const auto decoded = UIImage::fromData(c.make());
    EXPECT_EQ(decoded.has_value(), c.accepted) << c.name;
    if (decoded) {
      EXPECT_EQ(decoded->rgba().size(), std::size_t{decoded->width()} * decoded->height() * 4);
    }
  }
}

TEST(UIImageGif, FramesMustLieWithinTheScreen) {
  GifFile eight = tinyGif();
  eight.width = 8;
  eight.height = 8;
  eight.frames[0] = GifFrame{0, 0, 8, 8, false, {}, Bytes(64, 1)};
  const Bytes file = encodeGif(eight);
  ASSERT_TRUE(UIImage::fromData(file));
  const std::pair<std::string, Bytes> cases[] = {
      {"frame larger than the screen", withGifScreen(file, 4, 4)},
      {"frame wider than the screen", withGifScreen(file, 7, 8)},
      {"frame past the right edge", withGifFrame(file, 1, 0, 8, 8)},
      {"frame past the bottom edge", withGifFrame(file, 0, 1, 8, 8)},
      {"frame far outside", withGifFrame(file, 65535, 65535, 8, 8)},
      {"frame of no width", withGifFrame(file, 0, 0, 0, 8)},
      {"screen of no height", withGifScreen(file, 8, 0)},
  };
  for (const auto& [name, gif] : cases) EXPECT_FALSE(UIImage::fromData(gif)) << name;
}

TEST(UIImageGif, ShowsOnlyTheFirstFrame) {
  GifFile two = tinyGif();
  two.frames.push_back(GifFrame{0, 0, 4, 3, false, {}, Bytes(12, 2)});
  const auto first = UIImage::fromData(encodeGif(tinyGif()));
  const auto animated = UIImage::fromData(encodeGif(two));
  ASSERT_TRUE(first && animated);
  EXPECT_EQ(*animated, *first);
}

TEST(UIImageWebp, AnimationIsRefused) {
  const Pixels p = pattern(3, 2);
  EXPECT_TRUE(UIImage::fromData(encodeWebp(p, true)));
  EXPECT_FALSE(UIImage::fromData(animatedWebp(p)));
}

TEST(UIImageValue, EqualityIsSizeAndPixels) {
  const Pixels p = pattern(3, 2);
  Pixels other = p;
  other.rgba[5] ^= 1;
  const auto png = UIImage::fromData(encodePng(p));
  const auto webp = UIImage::fromData(encodeWebp(p, true));
  const auto changed = UIImage::fromData(encodePng(other));
  const auto transposed = UIImage::fromData(encodePng(pattern(2, 3)));
  ASSERT_TRUE(png && webp && changed && transposed);

  const UIImage copy = *png;
  EXPECT_EQ(copy.rgba().data(), png->rgba().data());  // copies share their pixels
  EXPECT_EQ(copy, *png);
  EXPECT_EQ(*webp, *png);  // where the pixels came from does not count
  EXPECT_NE(*changed, *png);
  EXPECT_NE(*transposed, *png);
  EXPECT_TRUE(std::equal(p.rgba.begin(), p.rgba.end(), png->rgba().begin()));
}

}  // namespace
