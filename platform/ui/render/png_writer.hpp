#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace ui::render {

// How a picture becomes a PNG file. The defaults are what the renderer writes; the other choices
// stay so that the benchmarks can weigh them against it on the same pictures.
struct PngOptions {
  enum class Filter : std::uint8_t { none, sub, up };
  // `rows`: our own deflate writer (row_deflater.hpp), which looks for matches at the row above,
  // the pixel before and, at literals, in a small hash; `level`, `rle` and `bands` are the
  // libraries'.
  enum class Deflate : std::uint8_t { rows, zlib, libdeflate };

  // A picture whose every pixel is opaque is written as RGB: a quarter less to compress.
  bool rgbWhenOpaque = true;
  Filter filter = Filter::none;
  Deflate deflate = Deflate::rows;
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

// The same of 8-bit RGBA pixels with straight alpha.
std::vector<std::uint8_t> writePNG(int width, int height, std::span<const std::uint8_t> rgba,
                                   const PngOptions& options = {});

}  // namespace ui::render
