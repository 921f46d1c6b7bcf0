#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace ui::render {

// How a picture becomes a PNG file. The defaults are what the renderer writes; the other choices
// stay so that the benchmarks can weigh them against it on the same pictures.
struct PngOptions {
  enum class Filter : std::uint8_t { none, sub, up };
  enum class Deflate : std::uint8_t { zlib, libdeflate };

  // A picture whose every pixel is opaque is written as RGB: a quarter less to compress.
  bool rgbWhenOpaque = true;
  Filter filter = Filter::none;
  Deflate deflate = Deflate::zlib;
  int level = 1;
  // zlib's Z_RLE strategy: matches at distance one only, which is all a filtered flat region has.
  bool rle = false;
  // Rows split into this many bands deflated in parallel (zlib only): still one standard zlib
  // stream, each band flushed to a byte boundary, the window not reaching across bands.
  int bands = 1;
};

// How the pixels handed to writePNG lie in memory; rows top to bottom, no padding.
enum class PixelLayout : std::uint8_t {
  rgba,  // 8-bit RGBA, straight alpha
  // Cairo's ARGB32: one native-endian 32-bit word a pixel, colour premultiplied by alpha. Read
  // where the drawing left it, so that no picture-sized copy is made on the way to the file.
  premultipliedArgb32,
};

// A PNG file of the pixels, written with straight alpha. Throws std::runtime_error if the
// compressor fails.
std::vector<std::uint8_t> writePNG(int width, int height, std::span<const std::uint8_t> pixels,
                                   PixelLayout layout, const PngOptions& options = {});

// Whether every pixel's alpha is 255 (either layout: alpha is each pixel's last byte).
bool everyPixelOpaque(std::span<const std::uint8_t> pixels);

// A PNG handed its rows a band at a time, so that a large picture can be drawn and encoded in
// bands and is never whole in memory. Written as writePNG writes with the default options; RGB
// when told every pixel is opaque (the pixels are then taken to be), else RGBA.
class PngBandWriter {
 public:
  PngBandWriter(int width, int height, PixelLayout layout, bool opaque);
  ~PngBandWriter();
  PngBandWriter(const PngBandWriter&) = delete;
  PngBandWriter& operator=(const PngBandWriter&) = delete;

  // The next whole rows.
  void write(std::span<const std::uint8_t> pixels);
  // The file, once every row has come.
  std::vector<std::uint8_t> finish();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The same of 8-bit RGBA pixels with straight alpha.
std::vector<std::uint8_t> writePNG(int width, int height, std::span<const std::uint8_t> rgba,
                                   const PngOptions& options = {});

}  // namespace ui::render
