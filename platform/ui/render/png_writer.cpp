#include "platform/ui/render/png_writer.hpp"

#include "platform/ui/render/row_deflater.hpp"

#include <libdeflate.h>
#include <zlib.h>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>

namespace ui::render {
namespace {

using Filter = PngOptions::Filter;

// Sixteen bytes at a time, a page between looks at the result: eight bytes at a time with a
// branch on each was a fifth of the encoding.
bool everyPixelOpaque(std::span<const std::uint8_t> rgba) {
  using Words = std::uint32_t __attribute__((vector_size(16)));
  constexpr std::uint32_t alpha = 0xff000000u;  // little-endian RGBA: alpha is the high byte
  std::size_t i = 0;
  while (i + 16 <= rgba.size()) {
    const std::size_t end = std::min(rgba.size() & ~std::size_t{15}, i + 4096);
    Words all = {alpha, alpha, alpha, alpha};
    for (; i < end; i += 16) {
      Words words;
      std::memcpy(&words, rgba.data() + i, 16);
      all &= words;
    }
    if ((all[0] & all[1] & all[2] & all[3] & alpha) != alpha) return false;
  }
  for (i += 3; i < rgba.size(); i += 4) {
    if (rgba[i] != 255) return false;
  }
  return true;
}

struct Layout {
  int width;
  int height;
  int channels;  // 3 or 4
  PixelLayout source;
  std::size_t rowBytes() const { return static_cast<std::size_t>(width) * channels; }
  std::size_t filteredRowBytes() const { return rowBytes() + 1; }
};

// Cairo's words as bytes: alpha is the high byte of each, which lies last on this machine.
static_assert(std::endian::native == std::endian::little,
              "the pixel layouts are read as little-endian words");

// Premultiplied ARGB32 to straight RGBA, as the phone's compositor would read it back.
void unpremultiplied(std::uint32_t pixel, std::uint8_t* out) {
  const std::uint32_t a = pixel >> 24;
  const auto channel = [a](std::uint32_t c) -> std::uint8_t {
    return a == 0 ? 0
                  : static_cast<std::uint8_t>(std::min<std::uint32_t>(255, (c * 255 + a / 2) / a));
  };
  out[0] = channel((pixel >> 16) & 0xff);
  out[1] = channel((pixel >> 8) & 0xff);
  out[2] = channel(pixel & 0xff);
  out[3] = static_cast<std::uint8_t>(a);
}

#if defined(__x86_64__)
// Opaque pixels to RGB four at a time with SSSE3's byte shuffle, where a pixel at a time cost a
// third of the encoding. Returns how many pixels it did; the caller does the rest.
__attribute__((target("ssse3"))) int shuffledToRgb(const std::uint8_t* pixels, std::uint8_t* out,
                                                   int width, PixelLayout source) {
  const __m128i order = source == PixelLayout::rgba
                            ? _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1)
                            : _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
  int x = 0;
  // Each store is sixteen bytes of which twelve count: it stops while they fit in the row.
  for (; x + 6 <= width; x += 4) {
    const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + x * 4));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x * 3), _mm_shuffle_epi8(four, order));
  }
  return x;
}

int shuffledToRgbWhereSupported(const std::uint8_t* pixels, std::uint8_t* out, int width,
                                PixelLayout source) {
  static const bool ssse3 = __builtin_cpu_supports("ssse3");
  return ssse3 ? shuffledToRgb(pixels, out, width, source) : 0;
}
#else
int shuffledToRgbWhereSupported(const std::uint8_t*, std::uint8_t*, int, PixelLayout) {
  return 0;
}
#endif

// One row of pixels in the file's channel layout.
void packRow(const Layout& layout, const std::uint8_t* pixels, std::uint8_t* out) {
  const int width = layout.width;
  const int shuffled =
      layout.channels == 3 ? shuffledToRgbWhereSupported(pixels, out, width, layout.source) : 0;
  if (layout.source == PixelLayout::rgba) {
    if (layout.channels == 4) {
      std::memcpy(out, pixels, layout.rowBytes());
      return;
    }
    // Each pixel's four bytes are stored three apart; the next store overwrites the alpha.
    for (int x = shuffled; x + 1 < width; ++x) std::memcpy(out + x * 3, pixels + x * 4, 4);
    std::memcpy(out + (width - 1) * 3, pixels + (width - 1) * 4, 3);
    return;
  }
  if (layout.channels == 3) {
    // Every pixel is opaque, so nothing is premultiplied: A R G B swapped and shifted is R G B 0
    // in memory, and each store's fourth byte is overwritten by the next pixel's.
    const auto rgb = [](const std::uint8_t* argb) {
      std::uint32_t pixel;
      std::memcpy(&pixel, argb, 4);
      return __builtin_bswap32(pixel) >> 8;
    };
    for (int x = shuffled; x + 1 < width; ++x) {
      const std::uint32_t value = rgb(pixels + x * 4);
      std::memcpy(out + x * 3, &value, 4);
    }
    const std::uint32_t last = rgb(pixels + (width - 1) * 4);
    std::memcpy(out + (width - 1) * 3, &last, 3);
    return;
  }
  for (int x = 0; x < width; ++x) {
    std::uint32_t pixel;
    std::memcpy(&pixel, pixels + x * 4, 4);
    if ((pixel >> 24) == 255) {
      const std::uint32_t rgba = (__builtin_bswap32(pixel) >> 8) | 0xff000000u;
      std::memcpy(out + x * 4, &rgba, 4);
    } else {
      unpremultiplied(pixel, out + x * 4);
    }
  }
}

// a - b byte by byte, sixteen at a time.
void subtract(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* out, std::size_t n) {
  using Bytes = std::uint8_t __attribute__((vector_size(16)));
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    Bytes x;
    Bytes y;
    std::memcpy(&x, a + i, 16);
    std::memcpy(&y, b + i, 16);
    const Bytes d = x - y;
    std::memcpy(out + i, &d, 16);
  }
  for (; i < n; ++i) out[i] = static_cast<std::uint8_t>(a[i] - b[i]);
}

// Packs and filters one row at a time into a buffer of its own, so that nothing of the picture's
// size is allocated: on this machine class the page faults of a fresh megabyte cost about as much
// as compressing it.
class RowFilter {
 public:
  RowFilter(const Layout& layout, std::span<const std::uint8_t> rgba, Filter filter, int first)
      : layout_(layout),
        rgba_(rgba),
        filter_(filter),
        previous_(layout.rowBytes(), 0),
        current_(layout.rowBytes()),
        out_(layout.filteredRowBytes()) {
    if (filter == Filter::up && first > 0) packRow(layout, source(first - 1), previous_.data());
  }

  // Row y, led by its filter type byte, written at `into` (filteredRowBytes long) if given.
  std::span<const std::uint8_t> row(int y, std::uint8_t* into = nullptr) {
    const std::size_t n = layout_.rowBytes();
    const std::size_t bpp = static_cast<std::size_t>(layout_.channels);
    std::uint8_t* const out = into != nullptr ? into : out_.data();
    std::uint8_t* row = out + 1;
    switch (filter_) {
      case Filter::none:
        out[0] = 0;
        packRow(layout_, source(y), row);
        break;
      case Filter::sub:
        out[0] = 1;
        packRow(layout_, source(y), current_.data());
        std::memcpy(row, current_.data(), bpp);
        subtract(current_.data() + bpp, current_.data(), row + bpp, n - bpp);
        break;
      case Filter::up:
        out[0] = 2;
        packRow(layout_, source(y), current_.data());
        subtract(current_.data(), previous_.data(), row, n);
        current_.swap(previous_);
        break;
    }
    return {out, layout_.filteredRowBytes()};
  }

 private:
  const std::uint8_t* source(int y) const {
    return rgba_.data() + static_cast<std::size_t>(y) * layout_.width * 4;
  }

  const Layout& layout_;
  std::span<const std::uint8_t> rgba_;
  Filter filter_;
  std::vector<std::uint8_t> previous_;
  std::vector<std::uint8_t> current_;
  std::vector<std::uint8_t> out_;
};

[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error("PNG encoding failed: " + what);
}

struct StreamDeleter {
  void operator()(z_stream* stream) const noexcept {
    deflateEnd(stream);
    delete stream;
  }
};

// Rows [first, last) as raw deflate data, ended by a sync flush (more follows) or as the final
// block when `final`. `checksum` gets the Adler-32 of the filtered rows.
std::vector<std::uint8_t> deflateRows(const Layout& layout, std::span<const std::uint8_t> rgba,
                                      const PngOptions& options, int first, int last, bool final,
                                      uLong& checksum) {
  std::unique_ptr<z_stream, StreamDeleter> stream(new z_stream{});
  if (deflateInit2(stream.get(), options.level, Z_DEFLATED, -15, 8,
                   options.rle ? Z_RLE : Z_DEFAULT_STRATEGY) != Z_OK) {
    stream.release();  // deflateEnd must not see a stream that never started
    fail("cannot start zlib");
  }
  RowFilter filter(layout, rgba, options.filter, first);
  std::vector<std::uint8_t> out(std::max<std::size_t>(
      16384, layout.filteredRowBytes() * static_cast<std::size_t>(last - first) / 16));
  std::size_t used = 0;
  checksum = 1;  // Adler-32 of nothing
  const auto run = [&](const std::uint8_t* data, std::size_t size, int flush) {
    stream->next_in = const_cast<Bytef*>(data);
    stream->avail_in = static_cast<uInt>(size);
    while (true) {
      if (out.size() - used < 64) out.resize(out.size() * 2);
      const std::size_t offered = std::min<std::size_t>(out.size() - used, 1u << 30);
      stream->next_out = out.data() + used;
      stream->avail_out = static_cast<uInt>(offered);
      const int status = deflate(stream.get(), flush);
      used += offered - stream->avail_out;
      if (status == Z_STREAM_END) return;
      if (status != Z_OK && status != Z_BUF_ERROR) fail("zlib stopped before the end of the image");
      // Done when the input is used up and the output was not what stopped it; a finish is done
      // only at the stream's end.
      if (flush != Z_FINISH && stream->avail_in == 0 && stream->avail_out > 0) return;
    }
  };
  for (int y = first; y < last; ++y) {
    const auto row = filter.row(y);
    // libdeflate's Adler-32 is vectorised; zlib's took a quarter of the encoding.
    checksum = libdeflate_adler32(static_cast<std::uint32_t>(checksum), row.data(), row.size());
    run(row.data(), row.size(), Z_NO_FLUSH);
  }
  run(nullptr, 0, final ? Z_FINISH : Z_SYNC_FLUSH);
  out.resize(used);
  return out;
}

struct CompressorDeleter {
  void operator()(libdeflate_compressor* c) const noexcept { libdeflate_free_compressor(c); }
};

// libdeflate compresses a whole buffer at once: the filtered rows go into a buffer kept per
// thread (grown, never shrunk) so that its pages are touched once, not on every picture.
std::vector<std::uint8_t> libdeflateStream(const Layout& layout, std::span<const std::uint8_t> rgba,
                                           const PngOptions& options) {
  thread_local std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor;
  thread_local int compressorLevel = -1;
  thread_local std::vector<std::uint8_t> filtered;
  if (!compressor || compressorLevel != options.level) {
    compressor.reset(libdeflate_alloc_compressor(options.level));
    compressorLevel = options.level;
    if (!compressor) fail("cannot start libdeflate");
  }
  const std::size_t rowBytes = layout.filteredRowBytes();
  filtered.resize(std::max(filtered.size(), rowBytes * layout.height));
  RowFilter filter(layout, rgba, options.filter, 0);
  for (int y = 0; y < layout.height; ++y) {
    const auto row = filter.row(y);
    std::memcpy(filtered.data() + rowBytes * y, row.data(), row.size());
  }
  const std::size_t size = rowBytes * layout.height;
  const std::size_t bound = libdeflate_zlib_compress_bound(compressor.get(), size);
  // Not value-initialised: only the pages written are touched.
  const std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[bound]);
  const std::size_t written =
      libdeflate_zlib_compress(compressor.get(), filtered.data(), size, out.get(), bound);
  if (written == 0) fail("libdeflate found no room");
  return std::vector<std::uint8_t>(out.get(), out.get() + written);
}

void putAdler(std::vector<std::uint8_t>& out, std::uint32_t checksum) {
  for (int shift = 24; shift >= 0; shift -= 8) {
    out.push_back(static_cast<std::uint8_t>(checksum >> shift));
  }
}

std::vector<std::uint8_t> rowDeflaterStream(const Layout& layout,
                                            std::span<const std::uint8_t> rgba,
                                            const PngOptions& options) {
  std::vector<std::uint8_t> out{0x78, 0x01};
  RowDeflater deflater(layout.filteredRowBytes(), static_cast<std::size_t>(layout.channels), out);
  RowFilter filter(layout, rgba, options.filter, 0);
  std::uint32_t checksum = 1;
  for (int y = 0; y < layout.height; ++y) {
    // Packed where the deflater keeps its rows: no copy on the way.
    const auto row = filter.row(y, deflater.nextRow());
    checksum = libdeflate_adler32(checksum, row.data(), row.size());
    deflater.addRow(row);
  }
  deflater.finish();
  putAdler(out, checksum);
  return out;
}

// A zlib stream (header, deflate data, Adler-32) of the filtered rows.
std::vector<std::uint8_t> zlibStream(const Layout& layout, std::span<const std::uint8_t> rgba,
                                     const PngOptions& options) {
  if (options.deflate == PngOptions::Deflate::rows) return rowDeflaterStream(layout, rgba, options);
  if (options.deflate == PngOptions::Deflate::libdeflate) {
    return libdeflateStream(layout, rgba, options);
  }
  const int bands = std::clamp(options.bands, 1, std::max(1, layout.height));
  uLong checksum = 0;
  std::vector<std::vector<std::uint8_t>> parts(bands);
  std::vector<uLong> checksums(bands);
  std::vector<std::size_t> sizes(bands);
  std::vector<std::exception_ptr> failures(bands);
  const auto work = [&](int band) {
    try {
      const int first = static_cast<int>(static_cast<long>(layout.height) * band / bands);
      const int last = static_cast<int>(static_cast<long>(layout.height) * (band + 1) / bands);
      sizes[band] = layout.filteredRowBytes() * static_cast<std::size_t>(last - first);
      parts[band] =
          deflateRows(layout, rgba, options, first, last, band == bands - 1, checksums[band]);
    } catch (...) {
      failures[band] = std::current_exception();
    }
  };
  std::vector<std::thread> helpers;
  for (int band = 1; band < bands; ++band) {
    // A thread that cannot start leaves its band to this one.
    try {
      helpers.emplace_back(work, band);
    } catch (const std::system_error&) {
      work(band);
    }
  }
  work(0);
  for (auto& helper : helpers) helper.join();
  for (const auto& failure : failures) {
    if (failure) std::rethrow_exception(failure);
  }
  checksum = checksums[0];
  for (int band = 1; band < bands; ++band) {
    checksum = adler32_combine(checksum, checksums[band], static_cast<z_off_t>(sizes[band]));
  }
  std::vector<std::uint8_t> out{0x78, 0x01};  // deflate with a 32 KB window, fastest level
  for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
  putAdler(out, static_cast<std::uint32_t>(checksum));
  return out;
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void chunk(std::vector<std::uint8_t>& out, const char (&type)[5],
           std::span<const std::uint8_t> data) {
  put32(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t typeAt = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  put32(out, libdeflate_crc32(0, out.data() + typeAt, out.size() - typeAt));
}

}  // namespace

std::vector<std::uint8_t> writePNG(int width, int height, std::span<const std::uint8_t> rgba,
                                   const PngOptions& options) {
  return writePNG(width, height, rgba, PixelLayout::rgba, options);
}

std::vector<std::uint8_t> writePNG(int width, int height, std::span<const std::uint8_t> rgba,
                                   PixelLayout source, const PngOptions& options) {
  if (width <= 0 || height <= 0 ||
      rgba.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4)
    fail("the pixels do not match the size");
  // Both layouts keep alpha in the last byte of each pixel.
  const Layout layout{width, height, options.rgbWhenOpaque && everyPixelOpaque(rgba) ? 3 : 4,
                      source};
  const std::vector<std::uint8_t> stream = zlibStream(layout, rgba, options);
  // A chunk holds less than 2^31 bytes.
  if (stream.size() >= (std::size_t{1} << 31)) fail("the image data is too large for one chunk");

  std::vector<std::uint8_t> out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  out.reserve(stream.size() + 64);
  std::vector<std::uint8_t> header;
  put32(header, static_cast<std::uint32_t>(width));
  put32(header, static_cast<std::uint32_t>(height));
  // 8 bits a channel, truecolour with or without alpha, deflate, adaptive filtering, no interlace.
  header.insert(header.end(),
                {8, static_cast<std::uint8_t>(layout.channels == 4 ? 6 : 2), 0, 0, 0});
  chunk(out, "IHDR", header);
  chunk(out, "IDAT", stream);
  chunk(out, "IEND", {});
  return out;
}

}  // namespace ui::render
