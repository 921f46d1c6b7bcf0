#include "platform/ui/render/svg_writer.hpp"

#include "platform/host/device/scene.hpp"
#include "platform/ui/render/cairo_renderer.hpp"
#include "platform/ui/render/pango_text_measurer.hpp"

#include <gtest/gtest.h>
#include <spng.h>
#include <unistd.h>

#include "support/activities.hpp"
#include "support/golden.hpp"
#include "support/sample_icons.hpp"

#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>

namespace {

namespace fs = std::filesystem;
using ui::render::Appearance;
using ui::render::DisplayList;

using activities::download;
using activities::sign;

std::string golden(const char* name) {
  return golden::readFile(fs::path(TOLVEX_GOLDEN_DIR) / name);
}

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgba;
};

// librsvg's drawing of an SVG at twice its size: one reader for both writers' SVG, so that what
// differs is what they wrote.
Picture rasterised(const std::string& svg, const fs::path& dir, const std::string& name) {
  const fs::path in = dir / (name + ".svg");
  const fs::path out = dir / (name + ".png");
  std::ofstream(in, std::ios::binary) << svg;
  const std::string command =
      "rsvg-convert --zoom 2 --format png --output '" + out.string() + "' '" + in.string() + "'";
  if (std::system(command.c_str()) != 0) return {};
  const std::string png = golden::readFile(out);
  std::unique_ptr<spng_ctx, void (*)(spng_ctx*)> ctx(spng_ctx_new(0), spng_ctx_free);
  spng_set_png_buffer(ctx.get(), png.data(), png.size());
  spng_ihdr ihdr{};
  std::size_t size = 0;
  if (spng_get_ihdr(ctx.get(), &ihdr) || spng_decoded_image_size(ctx.get(), SPNG_FMT_RGBA8, &size))
    return {};
  Picture picture{static_cast<int>(ihdr.width), static_cast<int>(ihdr.height),
                  std::vector<std::uint8_t>(size)};
  if (spng_decode_image(ctx.get(), picture.rgba.data(), size, SPNG_FMT_RGBA8, 0)) return {};
  return picture;
}

struct Drawing {
  std::string name;
  DisplayList list;
};

// Both activities in Latin, Japanese and right to left, with and without icons, in every
// presentation, light and dark.
std::vector<Drawing> drawings(const ui::render::PangoTextMeasurer& measurer) {
  const std::pair<const char*, host::ActivityPresentations> activities[] = {
      {"sign-icon", sign(golden("sign/failure-code-with-icon.json"))},
      {"sign-japanese", sign(golden("sign/japanese.json"))},
      {"download", download(golden("download/quarter-no-icon.json"))},
      {"download-wide-icon", download(golden("download/wide-icon-out-of-range-progress.json"))},
      {"download-arabic",
       download(R"({"progress":0.3,"statusText":"جارٍ التنزيل","fileName":"صور العطلة.zip",)"
                R"("transferredText":"١٢ م.ب","totalText":"٤٨ م.ب","etaText":"دقيقتان",)"
                R"("appIconBase64":")" +
                std::string(samples::squareIcon) + "\"}")},
  };
  std::vector<Drawing> found;
  for (const auto& [name, presentations] : activities) {
    ui::layout::Environment environment;
    if (std::string_view(name).ends_with("arabic")) {
      environment.layoutDirection = ui::LayoutDirection::rightToLeft;
    }
    for (const host::Presentation presentation : host::allPresentations) {
      const host::Scene scene = host::layOutScene(
          presentations, presentation, host::defaultDeviceProfile(), measurer, environment);
      for (const Appearance appearance : {Appearance::light, Appearance::dark}) {
        found.push_back({std::string(name) + "-" +
                             std::string(host::presentationName(presentation)) +
                             (appearance == Appearance::light ? "-light" : "-dark"),
                         host::paint(scene, appearance)});
      }
    }
  }
  return found;
}

TEST(SvgWriter, DrawsWhatCairosSvgDraws) {
  ASSERT_EQ(std::system("command -v rsvg-convert >/dev/null"), 0)
      << "rsvg-convert (Debian's librsvg2-bin) reads both SVGs";
  const ui::render::TextSystem text;
  const ui::render::PangoTextMeasurer measurer(text);
  ui::render::SvgWriter writer(text);
  const fs::path dir =
      fs::temp_directory_path() / ("svg_writer_test_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  for (const Drawing& drawing : drawings(measurer)) {
    const std::optional<std::string> ours = writer.write(drawing.list);
    ASSERT_TRUE(ours) << drawing.name << ": declined";
    const Picture expected =
        rasterised(ui::render::renderSVG(drawing.list, text), dir, drawing.name + "-cairo");
    const Picture actual = rasterised(*ours, dir, drawing.name);
    ASSERT_FALSE(expected.rgba.empty()) << drawing.name;
    ASSERT_FALSE(actual.rgba.empty()) << drawing.name << ": librsvg cannot read it";
    ASSERT_EQ(actual.width, expected.width) << drawing.name;
    ASSERT_EQ(actual.height, expected.height) << drawing.name;
    // Edges of glyphs and curves may differ by rounding; a shape moved or missing, a wrong
    // colour or a glyph out of place changes whole runs of pixels.
    std::size_t differing = 0;
    int largest = 0;
    for (std::size_t i = 0; i < actual.rgba.size(); i += 4) {
      int difference = 0;
      for (int c = 0; c < 4; ++c) {
        difference = std::max(difference, std::abs(actual.rgba[i + c] - expected.rgba[i + c]));
      }
      largest = std::max(largest, difference);
      differing += difference > 24 ? 1 : 0;
    }
    const std::size_t pixels = actual.rgba.size() / 4;
    EXPECT_LE(differing * 1000, pixels) << drawing.name << ": " << differing << " of " << pixels
                                        << " pixels differ, by up to " << largest;
  }
  fs::remove_all(dir);
}

// What it cannot draw as Cairo does is left to Cairo; what it writes is well formed and holds
// none of the text it draws.
TEST(SvgWriter, DeclinesWhatOnlyCairoDraws) {
  const ui::render::TextSystem text;
  ui::render::SvgWriter writer(text);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const auto textItem = [](std::string content) {
    ui::render::TextItem item;
    item.text = std::move(content);
    item.x = 4;
    item.y = 4;
    item.lineHeight = 20;
    item.font = ui::render::faceFor(17, 400, false);
    return item;
  };
  ui::render::Path square;
  square.moveTo(1, 1).lineTo(9, 1).lineTo(9, 9).close();
  ui::render::Path notFinite;
  notFinite.moveTo(1, nan);
  struct Case {
    const char* name;
    DisplayList list;
    bool written;
  };
  const Case cases[] = {
      {"shapes, clips and text",
       {100,
        40,
        {ui::render::PushClipItem{square}, ui::render::FillItem{square, {1, 0, 0, 0.5}},
         ui::render::StrokeItem{square, {0, 0, 1, 1}, 2},
         textItem("<script>alert(1)</script> & \"'"), ui::render::PopClipItem{},
         ui::render::PopClipItem{}}},
       true},
      {"an empty list", {10, 10, {}}, true},
      {"a blend",
       {10, 10, {ui::render::BlendItem{square, {1, 0, 0, 1}, ui::render::Blend::color}}},
       false},
      {"a colour emoji", {100, 40, {textItem("Done \xF0\x9F\x93\x8A")}}, false},
      {"a character no font has", {100, 40, {textItem("\xF3\xB0\x80\x80")}}, false},
      {"a point that is not finite", {10, 10, {ui::render::FillItem{notFinite, {}}}}, false},
      {"a size that is not finite", {nan, 10, {}}, false},
      {"no size", {0, 10, {}}, false},
  };
  const fs::path file = fs::temp_directory_path() / ("svg_writer_" + std::to_string(::getpid()));
  for (const Case& c : cases) {
    const std::optional<std::string> svg = writer.write(c.list);
    EXPECT_EQ(svg.has_value(), c.written) << c.name;
    if (!svg) continue;
    EXPECT_EQ(svg->find("script"), std::string::npos) << c.name;
    EXPECT_EQ(svg->find_first_of("\"\n"), std::string::npos) << c.name;
    std::ofstream(file, std::ios::binary) << *svg;
    EXPECT_EQ(std::system(("xmllint --noout '" + file.string() + "'").c_str()), 0) << c.name;
  }
  fs::remove(file);
}

}  // namespace
