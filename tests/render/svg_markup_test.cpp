#include "platform/ui/render/svg_markup.hpp"

#include "platform/host/device/sheet.hpp"
#include "platform/ui/render/cairo_renderer.hpp"
#include "platform/ui/render/pango_text_measurer.hpp"
#include "platform/ui/render/png_writer.hpp"

#include <gtest/gtest.h>

#include "support/activities.hpp"
#include "support/golden.hpp"

#include <algorithm>
#include <array>
#include <filesystem>
#include <regex>
#include <set>

namespace {

namespace fs = std::filesystem;
using ui::render::Appearance;

std::multiset<std::string> matches(const std::string& text, const std::string& pattern) {
  std::multiset<std::string> found;
  const std::regex re(pattern);
  for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator();
       ++it) {
    found.insert((*it)[1].str());
  }
  return found;
}

struct Case {
  const char* name;
  std::string in;
  std::string out;
};

TEST(SvgMarkup, KeepsOneCopyOfEachClip) {
  const std::string clip1 = "<clipPath id=\"clip1\">\n  <path d=\"M 0 0 L 9 9 Z\"/>\n</clipPath>\n";
  const std::string clip2 = "<clipPath id=\"clip2\">\n  <path d=\"M 0 0 L 9 9 Z\"/>\n</clipPath>\n";
  const std::string other = "<clipPath id=\"clip3\">\n  <path d=\"M 1 1 Z\"/>\n</clipPath>\n";
  const std::string nested =
      "<clipPath id=\"clip4\">\n  <path clip-path=\"url(#clip2)\" d=\"M 1 1 Z\"/>\n</clipPath>\n";
  const std::string nested2 =
      "<clipPath id=\"clip5\">\n  <path clip-path=\"url(#clip2)\" d=\"M 1 1 Z\"/>\n</clipPath>\n";
  const std::string uses = "<g clip-path=\"url(#clip1)\"/><g clip-path=\"url(#clip2)\"/>";
  const Case cases[] = {
      {"a copy goes and its references point at the first", clip1 + clip2 + uses,
       clip1 + "<g clip-path=\"url(#clip1)\"/><g clip-path=\"url(#clip1)\"/>"},
      {"different clips stay", clip1 + other + uses, clip1 + other + uses},
      {"a clip naming another stays, and is renamed with it", clip1 + clip2 + nested + nested2,
       clip1 +
           "<clipPath id=\"clip4\">\n  <path clip-path=\"url(#clip1)\" d=\"M 1 1 Z\"/>\n"
           "</clipPath>\n" +
           "<clipPath id=\"clip5\">\n  <path clip-path=\"url(#clip1)\" d=\"M 1 1 Z\"/>\n"
           "</clipPath>\n"},
      {"no clips", "<svg><path d=\"M 0 0\"/></svg>", "<svg><path d=\"M 0 0\"/></svg>"},
      {"cut short", clip1 + "<clipPath id=\"clip2\">\n  <path d=\"M 0 0 L 9 9 Z\"/>",
       clip1 + "<clipPath id=\"clip2\">\n  <path d=\"M 0 0 L 9 9 Z\"/>"},
      {"an attribute without quotes", "<clipPath id=clip1><path/></clipPath>",
       "<clipPath id=clip1><path/></clipPath>"},
      {"empty", "", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ui::render::oneClipEach(c.in), c.out) << c.name;
}

TEST(SvgMarkup, WritesEachOutlineGlyphWhereItIsUsed) {
  const std::string glyph =
      "<symbol overflow=\"visible\" id=\"glyph0-1\">\n<path style=\"stroke:none;\" d=\"M 1 2 "
      "Z\"/>\n</symbol>\n";
  const std::string colour =
      "<symbol overflow=\"visible\" id=\"glyph1-1\">\n<image width=\"9\" height=\"9\" "
      "xlink:href=\"data:image/png;base64,AA==\"/>\n</symbol>\n";
  const std::string use = "<use xlink:href=\"#glyph0-1\" x=\"83\" y=\"40.953125\"/>";
  const std::string placed =
      "<path transform=\"translate(83,40.953125)\" style=\"stroke:none;\" d=\"M 1 2 Z\"/>";
  const Case cases[] = {
      {"each use becomes the outline, moved", glyph + use + use, placed + placed},
      {"a colour glyph stays a symbol", colour + "<use xlink:href=\"#glyph1-1\" x=\"1\" y=\"2\"/>",
       colour + "<use xlink:href=\"#glyph1-1\" x=\"1\" y=\"2\"/>"},
      {"a use with more to it keeps its symbol",
       glyph + use + "<use xlink:href=\"#glyph0-1\" x=\"1\" y=\"2\" opacity=\"0.5\"/>",
       glyph + placed + "<use xlink:href=\"#glyph0-1\" x=\"1\" y=\"2\" opacity=\"0.5\"/>"},
      {"a place that is no number keeps its symbol",
       glyph + "<use xlink:href=\"#glyph0-1\" x=\"1)\" y=\"2\"/>",
       glyph + "<use xlink:href=\"#glyph0-1\" x=\"1)\" y=\"2\"/>"},
      {"a glyph named by url() keeps its symbol", glyph + use + "<g fill=\"url(#glyph0-1)\"/>",
       glyph + placed + "<g fill=\"url(#glyph0-1)\"/>"},
      {"a use of no symbol stays", "<use xlink:href=\"#nothing\" x=\"1\" y=\"2\"/>",
       "<use xlink:href=\"#nothing\" x=\"1\" y=\"2\"/>"},
      {"cut short", glyph + "<use xlink:href=\"#glyph0-1\" x=\"1\"",
       "<use xlink:href=\"#glyph0-1\" x=\"1\""},
  };
  for (const Case& c : cases) EXPECT_EQ(ui::render::glyphsInPlace(c.in), c.out) << c.name;
}

// Cairo's own drawing of every presentation in Arabic with emoji, light and dark: after both
// rewrites every reference still names something, no clip is written twice, only the colour
// glyphs remain as Cairo drew them, and each outline glyph used is drawn where it was.
TEST(SvgMarkup, CairoDrawingLosesNothing) {
  const std::string json =
      golden::readFile(fs::path(TOLVEX_GOLDEN_DIR) / "download/arabic-emoji.json");
  const host::ActivityPresentations activity = activities::download(json);
  const ui::render::TextSystem text;
  const ui::render::PangoTextMeasurer measurer(text);
  const auto list =
      host::sheet(activity, host::allPresentations, std::array{Appearance::light, Appearance::dark},
                  host::defaultDeviceProfile(), measurer);
  const std::string cairo = ui::render::renderSVG(list, text);
  const std::string svg = ui::render::glyphsInPlace(cairo);

  const auto ids = matches(svg, R"re(\bid="([^"]+)")re");
  for (const auto& name : matches(svg, R"re(url\(#([^)]+)\))re"))
    EXPECT_TRUE(ids.contains(name)) << name;
  for (const auto& name : matches(svg, R"re(xlink:href="#([^"]+)")re"))
    EXPECT_TRUE(ids.contains(name)) << name;

  const auto clips = matches(svg, R"re(<clipPath id="[^"]+">([^<]*<path[^>]*>)\s*</clipPath>)re");
  EXPECT_EQ(std::set<std::string>(clips.begin(), clips.end()).size(), clips.size());
  EXPECT_FALSE(clips.empty());

  const auto outlines =
      matches(cairo, R"re(<symbol overflow="visible" id="([^"]+)">\s*<path [^<]*</symbol>)re");
  std::size_t outlineUses = 0;
  for (const auto& name : matches(cairo, R"re(<use xlink:href="#([^"]+)")re")) {
    outlineUses += outlines.contains(name) ? 1 : 0;
  }
  EXPECT_GT(outlineUses, 50u);
  EXPECT_EQ(matches(svg, R"re(<path (transform)="translate\()re").size(), outlineUses);
  for (const auto& name : matches(svg, R"re(<use xlink:href="#([^"]+)")re")) {
    EXPECT_FALSE(outlines.contains(name)) << name;
  }
  // Colour glyphs come as images, and stay.
  EXPECT_EQ(matches(svg, "<(image) ").size(), matches(cairo, "<(image) ").size());
  EXPECT_GT(matches(svg, "<(image) ").size(), 0u);
  EXPECT_LT(std::count(svg.begin(), svg.end(), '<'), std::count(cairo.begin(), cairo.end(), '<'));
}

TEST(DisplayListFingerprint, ChangesWithWhatIsDrawnAlone) {
  using namespace ui::render;
  const auto pixel = [](std::uint8_t red) {
    const std::uint8_t rgba[] = {red, 0, 0, 255};
    return image::UIImage::fromData(writePNG(1, 1, rgba));
  };
  DisplayList base{100, 50, {}};
  base.items.push_back(
      FillItem{roundedRectangle(0, 0, 10, 10, 2, CornerStyle::continuous), RGBA{1, 0, 0, 1}});
  base.items.push_back(TextItem{"demo.zip", TextFont{}, 1, 2, 20, RGBA{}, std::nullopt});
  base.items.push_back(ImageItem{*pixel(10), 0, 0, 10, 10});
  const auto changed = [&](auto change) {
    DisplayList list = base;
    change(list);
    return list;
  };
  const DisplayList lists[] = {
      changed([](DisplayList& l) { std::get<TextItem>(l.items[1]).text = "demo.zi"; }),
      changed([](DisplayList& l) { std::get<TextItem>(l.items[1]).x = 1.0000000001; }),
      changed([](DisplayList& l) { std::get<FillItem>(l.items[0]).color.alpha = 0.99; }),
      changed([&](DisplayList& l) { std::get<ImageItem>(l.items[2]).image = *pixel(11); }),
      changed([](DisplayList& l) { l.items.push_back(PopClipItem{}); }),
      changed([](DisplayList& l) { l.width = 101; }),
      changed([](DisplayList& l) { std::swap(l.items[0], l.items[1]); }),
      changed([](DisplayList& l) { std::get<TextItem>(l.items[1]).rightEdge = 0; }),
      changed([](DisplayList& l) { std::get<TextItem>(l.items[1]).font.tabularDigits = true; }),
      // The same bytes split otherwise between two texts.
      changed([](DisplayList& l) {
        std::get<TextItem>(l.items[1]).text = "demo.";
        std::get<TextItem>(l.items[1]).font.family = "zip";
      }),
      // The same point reached by another element.
      changed([](DisplayList& l) {
        std::get<FillItem>(l.items[0]).path = Path().moveTo(1, 2).lineTo(3, 4);
      }),
      changed([](DisplayList& l) {
        std::get<FillItem>(l.items[0]).path = Path().moveTo(1, 2).moveTo(3, 4);
      }),
      changed([](DisplayList& l) {
        l.items[0] = StrokeItem{Path().moveTo(1, 2), RGBA{}, 1};
      }),
      changed([](DisplayList& l) { l.items[0] = PushClipItem{Path().moveTo(1, 2)}; }),
  };
  EXPECT_EQ(fingerprint(base), fingerprint(changed([](DisplayList&) {})));
  EXPECT_EQ(fingerprint(changed([](DisplayList& l) { std::get<TextItem>(l.items[1]).x = -0.0; })),
            fingerprint(changed([](DisplayList& l) { std::get<TextItem>(l.items[1]).x = 0.0; })));
  std::set<std::uint64_t> seen{fingerprint(base)};
  for (const DisplayList& list : lists) EXPECT_TRUE(seen.insert(fingerprint(list)).second);
}

}  // namespace
