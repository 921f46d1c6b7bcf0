#include "platform/ui/render/png_writer.hpp"

#include <gtest/gtest.h>
#include <spng.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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
  const auto dir =
      std::filesystem::temp_directory_path() / ("png_writer_test_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::string pillowCheck = "import sys\nfrom PIL import Image\nbad = []\n";
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
      std::ofstream(dir / (label + ".png"), std::ios::binary)
          .write(reinterpret_cast<const char*>(png.data()),
                 static_cast<std::streamsize>(png.size()));
      std::ofstream(dir / (label + ".rgba"), std::ios::binary)
          .write(reinterpret_cast<const char*>(p.rgba.data()),
                 static_cast<std::streamsize>(p.rgba.size()));
      pillowCheck += "im = Image.open('" + (dir / (label + ".png")).string() +
                     "')\n"
                     "if im.convert('RGBA').tobytes() != open('" +
                     (dir / (label + ".rgba")).string() + "', 'rb').read(): bad.append('" + label +
                     "')\n";
    }
  }
  pillowCheck += "print(' '.join(bad) or 'ok')\n";
  // A second, independent decoder: Pillow (Debian's python3-pil, from scripts/install-deps).
  const std::string command = "/usr/bin/python3 -c \"import PIL\" 2>/dev/null";
  if (std::system(command.c_str()) != 0) {
    std::filesystem::remove_all(dir);
    GTEST_SKIP() << "Pillow is not installed; run scripts/install-deps";
  }
  std::ofstream(dir / "check.py") << pillowCheck;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(
      popen(("/usr/bin/python3 " + (dir / "check.py").string() + " 2>&1").c_str(), "r"), pclose);
  ASSERT_TRUE(pipe);
  std::string output;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe.get())) output += buffer;
  EXPECT_EQ(output, "ok\n");
  std::filesystem::remove_all(dir);
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
    std::vector<std::uint8_t> argb(p.rgba.size());
    std::vector<std::uint8_t> expected(p.rgba.size());
    for (std::size_t i = 0; i < p.rgba.size(); i += 4) {
      const unsigned a = p.rgba[i + 3];
      for (int c = 0; c < 3; ++c) {
        const unsigned premultiplied = (p.rgba[i + c] * a + 127) / 255;
        argb[i + 2 - c] = static_cast<std::uint8_t>(premultiplied);
        expected[i + c] =
            a == 0 ? 0
                   : static_cast<std::uint8_t>(std::min(255u, (premultiplied * 255 + a / 2) / a));
      }
      argb[i + 3] = expected[i + 3] = static_cast<std::uint8_t>(a);
    }
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
