#include "platform/ui/render/png_writer.hpp"

#include <gtest/gtest.h>
#include <spng.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using ui::render::PngOptions;

struct Picture {
  int width;
  int height;
  std::vector<std::uint8_t> rgba;
};

// Flat bands, a repeated row, noise and (unless opaque) every alpha value; an odd width so that
// no row is a multiple of the vector width.
Picture picture(bool opaque) {
  Picture p{37, 29, std::vector<std::uint8_t>(37 * 29 * 4)};
  std::mt19937 random(3);
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      std::uint8_t* px = &p.rgba[(y * p.width + x) * 4];
      const bool noisy = y > 20;
      for (int c = 0; c < 3; ++c) px[c] = noisy ? random() : (y < 10 ? 40 * c : x * 6);
      px[3] = opaque ? 255 : (y * p.width + x) % 256;
    }
  }
  return p;
}

struct Read {
  int colorType = -1;
  std::vector<std::uint8_t> rgba;
};

Read readWithSpng(const std::vector<std::uint8_t>& png) {
  std::unique_ptr<spng_ctx, void (*)(spng_ctx*)> ctx(spng_ctx_new(0), spng_ctx_free);
  spng_set_crc_action(ctx.get(), SPNG_CRC_ERROR, SPNG_CRC_ERROR);
  spng_set_png_buffer(ctx.get(), png.data(), png.size());
  spng_ihdr ihdr{};
  std::size_t size = 0;
  Read read;
  if (spng_get_ihdr(ctx.get(), &ihdr) || spng_decoded_image_size(ctx.get(), SPNG_FMT_RGBA8, &size))
    return read;
  read.rgba.resize(size);
  if (spng_decode_image(ctx.get(), read.rgba.data(), size, SPNG_FMT_RGBA8, 0)) return {};
  read.colorType = ihdr.color_type;
  return read;
}

// Pillow's reading of each file, as a second decoder independent of libspng: the labels of the
// files that did not read back to their pixels, or "ok"; empty if Pillow is not installed.
struct Written {
  std::string label;
  std::vector<std::uint8_t> png;
  std::vector<std::uint8_t> rgba;
};

std::string pillowMismatches(const std::vector<Written>& files) {
  if (std::system("/usr/bin/python3 -c \"import PIL\" 2>/dev/null") != 0) return {};
  const auto dir =
      std::filesystem::temp_directory_path() / ("png_writer_test_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::string check = "import sys\nfrom PIL import Image\nbad = []\n";
  for (const auto& [label, png, rgba] : files) {
    const auto write = [](const std::filesystem::path& path, const std::vector<std::uint8_t>& b) {
      std::ofstream(path, std::ios::binary)
          .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    };
    write(dir / (label + ".png"), png);
    write(dir / (label + ".rgba"), rgba);
    check += "im = Image.open('" + (dir / (label + ".png")).string() +
             "')\n"
             "if im.convert('RGBA').tobytes() != open('" +
             (dir / (label + ".rgba")).string() + "', 'rb').read(): bad.append('" + label + "')\n";
  }
  check += "print(' '.join(bad) or 'ok')\n";
  std::ofstream(dir / "check.py") << check;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(
      popen(("/usr/bin/python3 " + (dir / "check.py").string() + " 2>&1").c_str(), "r"), pclose);
  std::string output;
  char buffer[256];
  while (pipe && std::fgets(buffer, sizeof buffer, pipe.get())) output += buffer;
  pipe.reset();
  std::filesystem::remove_all(dir);
  return output;
}

TEST(PngWriter, EveryOptionGivesAFileThatDecodersRead) {
  PngOptions up;
  up.filter = PngOptions::Filter::up;
  PngOptions sub;
  sub.filter = PngOptions::Filter::sub;
  PngOptions zlib;
  zlib.deflate = PngOptions::Deflate::zlib;
  PngOptions subRle = zlib;
  subRle.filter = PngOptions::Filter::sub;
  subRle.rle = true;
  PngOptions rgba;
  rgba.rgbWhenOpaque = false;
  PngOptions bands = zlib;
  bands.bands = 3;
  bands.filter = PngOptions::Filter::up;
  PngOptions manyBands = zlib;
  manyBands.bands = 100;  // more than rows: one row a band
  PngOptions libdeflate;
  libdeflate.deflate = PngOptions::Deflate::libdeflate;
  libdeflate.filter = PngOptions::Filter::sub;
  const std::pair<const char*, PngOptions> variants[] = {
      {"default", {}},
      {"up", up},
      {"sub", sub},
      {"zlib", zlib},
      {"subRle", subRle},
      {"rgba", rgba},
      {"bands", bands},
      {"manyBands", manyBands},
      {"libdeflate", libdeflate},
  };
  std::vector<Written> files;
  for (const bool opaque : {true, false}) {
    const Picture p = picture(opaque);
    for (const auto& [name, options] : variants) {
      const std::string label = std::string(name) + (opaque ? "-opaque" : "-alpha");
      const auto png = ui::render::writePNG(p.width, p.height, p.rgba, options);
      const Read read = readWithSpng(png);
      EXPECT_EQ(read.rgba, p.rgba) << label;
      const bool rgb = opaque && options.rgbWhenOpaque;
      EXPECT_EQ(read.colorType, rgb ? SPNG_COLOR_TYPE_TRUECOLOR : SPNG_COLOR_TYPE_TRUECOLOR_ALPHA)
          << label;
      files.push_back({label, png, p.rgba});
    }
  }
  const std::string pillow = pillowMismatches(files);
  if (pillow.empty()) GTEST_SKIP() << "Pillow is not installed; run scripts/install-deps";
  EXPECT_EQ(pillow, "ok\n");
}

// Straight RGBA as Cairo would hold it (premultiplied BGRA words on this little-endian machine),
// and what a PNG of it reads back as: unpremultiplied, rounded to nearest.
struct Premultiplied {
  std::vector<std::uint8_t> argb;
  std::vector<std::uint8_t> expected;
};

Premultiplied premultiplied(const std::vector<std::uint8_t>& rgba) {
  Premultiplied out{std::vector<std::uint8_t>(rgba.size()), std::vector<std::uint8_t>(rgba.size())};
  for (std::size_t i = 0; i < rgba.size(); i += 4) {
    const unsigned a = rgba[i + 3];
    for (int c = 0; c < 3; ++c) {
      const unsigned value = (rgba[i + c] * a + 127) / 255;
      out.argb[i + 2 - c] = static_cast<std::uint8_t>(value);
      out.expected[i + c] =
          a == 0 ? 0 : static_cast<std::uint8_t>(std::min(255u, (value * 255 + a / 2) / a));
    }
    out.argb[i + 3] = out.expected[i + 3] = static_cast<std::uint8_t>(a);
  }
  return out;
}

// Pictures at the writer's edges, from both pixel layouts, with the default options: the
// smallest; widths around the four pixels that are packed at a time; rows longer than deflate's
// window, where no match may reach the row above; one colour; noise in several blocks; every
// alpha. libspng and Pillow both inflate with zlib.
TEST(PngWriter, PicturesAtTheEdgesReadBackByEveryDecoder) {
  std::mt19937 random(11);
  using Pixel = std::array<std::uint8_t, 4>;
  const auto noise = [&random](bool opaque) {
    return [&random, opaque](int, int) {
      const auto word = random();
      return Pixel{static_cast<std::uint8_t>(word), static_cast<std::uint8_t>(word >> 8),
                   static_cast<std::uint8_t>(word >> 16),
                   opaque ? std::uint8_t{255} : static_cast<std::uint8_t>(word >> 24)};
    };
  };
  const auto stripes = [](int x, int y) {
    return Pixel{static_cast<std::uint8_t>(x / 97 * 40), static_cast<std::uint8_t>(y * 9), 30, 255};
  };
  struct Case {
    std::string name;
    int width;
    int height;
    std::function<Pixel(int, int)> pixel;
  };
  std::vector<Case> cases = {
      {"1x1", 1, 1,
       [](int, int) {
         return Pixel{10, 20, 30, 255};
       }},
      {"1x1 clear", 1, 1,
       [](int, int) {
         return Pixel{0, 0, 0, 0};
       }},
      {"rgb rows beyond the window", 11000, 3, stripes},
      {"rgba rows beyond the window", 8200, 3,
       [](int x, int y) {
         return Pixel{static_cast<std::uint8_t>(x % 3), 1, 2, static_cast<std::uint8_t>(y + 1)};
       }},
      {"one colour", 600, 400,
       [](int, int) {
         return Pixel{250, 250, 250, 255};
       }},
      {"noise", 300, 250, noise(true)},
      {"noise and alpha", 300, 250, noise(false)},
      {"every alpha", 256, 3,
       [](int x, int y) {
         return Pixel{static_cast<std::uint8_t>(y * 100), 200, 7, static_cast<std::uint8_t>(x)};
       }},
  };
  // The opaque check reads a page at a time: one clear pixel in the last bytes, or past a page.
  for (const int clear : {301 * 7 - 1, 1500}) {
    cases.push_back(
        {"clear pixel " + std::to_string(clear), 301, 7, [clear](int x, int y) {
           return Pixel{1, 2, 3, y * 301 + x == clear ? std::uint8_t{0} : std::uint8_t{255}};
         }});
  }
  for (int width = 1; width <= 9; ++width) {
    cases.push_back({"narrow " + std::to_string(width), width, 5, noise(true)});
  }
  std::vector<Written> files;
  for (const auto& [name, width, height, pixel] : cases) {
    std::vector<std::uint8_t> rgba;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const Pixel p = pixel(x, y);
        rgba.insert(rgba.end(), p.begin(), p.end());
      }
    }
    const auto straight = ui::render::writePNG(width, height, rgba);
    EXPECT_EQ(readWithSpng(straight).rgba, rgba) << name;
    files.push_back({name, straight, rgba});
    const auto [argb, expected] = premultiplied(rgba);
    const auto fromCairo =
        ui::render::writePNG(width, height, argb, ui::render::PixelLayout::premultipliedArgb32);
    EXPECT_EQ(readWithSpng(fromCairo).rgba, expected) << name << " from Cairo's layout";
    files.push_back({name + " from Cairo", fromCairo, expected});
  }
  for (auto& file : files) std::replace(file.label.begin(), file.label.end(), ' ', '-');
  const std::string pillow = pillowMismatches(files);
  if (pillow.empty()) GTEST_SKIP() << "Pillow is not installed; run scripts/install-deps";
  EXPECT_EQ(pillow, "ok\n");
}

// Cairo's pixels: native-endian words (this machine is little-endian: B, G, R, A in memory),
// colour premultiplied. Read back, a PNG holds them unpremultiplied, rounded to nearest.
TEST(PngWriter, ReadsPremultipliedArgbWhereCairoLeftIt) {
  PngOptions up;
  up.filter = PngOptions::Filter::up;
  PngOptions rgba;
  rgba.rgbWhenOpaque = false;
  PngOptions zlib;
  zlib.deflate = PngOptions::Deflate::zlib;
  const std::pair<const char*, PngOptions> variants[] = {
      {"default", {}}, {"up", up}, {"rgba", rgba}, {"zlib", zlib}};
  for (const bool opaque : {true, false}) {
    const Picture p = picture(opaque);
    const auto [argb, expected] = premultiplied(p.rgba);
    if (opaque) {
      ASSERT_EQ(expected, p.rgba);
    }
    for (const auto& [name, options] : variants) {
      const std::string label = std::string(name) + (opaque ? "-opaque" : "-alpha");
      const auto png = ui::render::writePNG(p.width, p.height, argb,
                                            ui::render::PixelLayout::premultipliedArgb32, options);
      const Read read = readWithSpng(png);
      EXPECT_EQ(read.rgba, expected) << label;
      EXPECT_EQ(read.colorType, opaque && options.rgbWhenOpaque ? SPNG_COLOR_TYPE_TRUECOLOR
                                                                : SPNG_COLOR_TYPE_TRUECOLOR_ALPHA)
          << label;
      // The same file as from the straight pixels.
      EXPECT_EQ(png, ui::render::writePNG(p.width, p.height, expected, options)) << label;
    }
  }
}

TEST(PngWriter, RefusesPixelsThatDoNotMatchTheSize) {
  const std::vector<std::uint8_t> pixels(4 * 4 * 4);
  EXPECT_THROW(ui::render::writePNG(4, 5, pixels), std::runtime_error);
  EXPECT_THROW(ui::render::writePNG(0, 0, {}), std::runtime_error);
}

}  // namespace
