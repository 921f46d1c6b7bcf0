#include "platform/foundation/base64.hpp"
#include "platform/host/device/sheet.hpp"
#include "platform/ui/render/cairo_renderer.hpp"
#include "platform/ui/render/pango_text_measurer.hpp"
#include "support/fake_text_measurer.hpp"

#include <gtest/gtest.h>

#include "support/activities.hpp"
#include "support/golden.hpp"

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using host::Presentation;
using ui::render::Appearance;

const fs::path kGolden = fs::path(TOLVEX_GOLDEN_DIR) / "render";

using golden::readFile;

host::ActivityPresentations signActivity(const std::string& json) {
  return activities::sign(json);
}
host::ActivityPresentations downloadActivity(const std::string& json) {
  return activities::download(json);
}

const std::string kSign = readFile(fs::path(TOLVEX_GOLDEN_DIR) / "sign/pending-no-icon.json");
const std::string kSignIcon =
    readFile(fs::path(TOLVEX_GOLDEN_DIR) / "sign/failure-code-with-icon.json");
const std::string kDownload =
    readFile(fs::path(TOLVEX_GOLDEN_DIR) / "download/quarter-no-icon.json");
const std::string kArabic = readFile(fs::path(TOLVEX_GOLDEN_DIR) / "download/arabic-emoji.json");
const std::string kJapanese = readFile(fs::path(TOLVEX_GOLDEN_DIR) / "sign/japanese.json");

ui::layout::Environment rightToLeft() {
  ui::layout::Environment environment;
  environment.layoutDirection = ui::LayoutDirection::rightToLeft;
  return environment;
}

TEST(RoundedRectangle, UsesContinuousCornersUntilItIsACapsule) {
  using ui::render::CornerStyle;
  // A continuous corner of radius 10 starts 15.29 before the corner along each edge.
  const auto card = ui::render::roundedRectangle(0, 0, 100, 60, 10, CornerStyle::continuous);
  const auto& start = std::get<ui::render::Path::MoveTo>(card.elements().front()).to;
  EXPECT_NEAR(start.x, 15.2866483, 1e-9);
  EXPECT_EQ(start.y, 0);
  const auto& edgeEnd = std::get<ui::render::Path::LineTo>(card.elements()[1]).to;
  EXPECT_NEAR(edgeEnd.x, 100 - 15.2866483, 1e-9);
  // The radius is capped so that two corners never meet on the shorter side.
  const auto tight = ui::render::roundedRectangle(0, 0, 100, 20, 9, CornerStyle::continuous);
  const auto& tightStart = std::get<ui::render::Path::MoveTo>(tight.elements().front()).to;
  EXPECT_NEAR(tightStart.x, 10, 1e-9);
  // From half the shorter side on, it is a capsule with circular ends.
  const auto capsule = ui::render::roundedRectangle(0, 0, 100, 20, 44, CornerStyle::continuous);
  EXPECT_EQ(capsule, ui::render::roundedRectangle(0, 0, 100, 20, 10, CornerStyle::circular));
  // Nothing at all for sizes that are no sizes.
  EXPECT_TRUE(ui::render::roundedRectangle(0, 0, NAN, 20, 4, CornerStyle::continuous).empty());
  EXPECT_TRUE(ui::render::roundedRectangle(0, 0, -5, 20, 4, CornerStyle::continuous).empty());
}

struct SceneCase {
  const char* name;
  host::ActivityPresentations activity;
  Presentation presentation;
  Appearance appearance;
  ui::layout::Environment environment{};
};

// Display lists on the fake measurer: exact, and independent of the fonts installed.
TEST(DisplayList, ScenesMatchTheReviewedDump) {
  const ui::layout::FakeTextMeasurer measurer;
  const SceneCase cases[] = {
      {"sign-lockscreen-light", signActivity(kSign), Presentation::lockScreen, Appearance::light},
      {"sign-compact-dark", signActivity(kSignIcon), Presentation::compactLeading,
       Appearance::dark},
      {"download-minimal-light", downloadActivity(kDownload), Presentation::minimal,
       Appearance::light},
      {"download-expanded-dark", downloadActivity(kDownload), Presentation::expanded,
       Appearance::dark},
      // Mirrored: the icon on the right, texts ending at the right edge, the bar filling from it.
      {"download-lockscreen-rtl-light", downloadActivity(kDownload), Presentation::lockScreen,
       Appearance::light, rightToLeft()},
      // Leading on the right of the island, trailing on the left.
      {"sign-compact-rtl-dark", signActivity(kSignIcon), Presentation::compactLeading,
       Appearance::dark, rightToLeft()},
      // The surfaces: StandBy's card at twice its size on the landscape screen, red at night;
      // the dimmed Always-On card; the watch and the dashboard, asked for on a phone, on their
      // own default profiles.
      {"sign-standby-light", signActivity(kSign), Presentation::standBy, Appearance::light},
      {"sign-standby-night-light", signActivity(kSign), Presentation::standByNight,
       Appearance::light},
      {"download-always-on-light", downloadActivity(kDownload), Presentation::alwaysOn,
       Appearance::light},
      {"download-smart-stack-light", downloadActivity(kDownload), Presentation::smartStack,
       Appearance::light},
      {"sign-carplay-dark", signActivity(kSignIcon), Presentation::carPlay, Appearance::dark},
  };
  for (const auto& c : cases) {
    const std::string actual =
        host::paint(host::layOutScene(c.activity, c.presentation, host::defaultDeviceProfile(),
                                      measurer, c.environment),
                    c.appearance)
            .dump();
    golden::expectMatches(kGolden / (std::string(c.name) + ".txt"), actual);
  }
}

// A text cut to one line ends as far along as the width allows, wherever Pango would have
// wrapped it: within one character (under 15 points at these sizes) of the width offered.
TEST(PangoMeasurer, TruncatesAtTheTailOfTheText) {
  const ui::render::TextSystem text;
  const ui::render::PangoTextMeasurer measurer(text);
  for (const char* line : {"PhotoStudioPro-4.2.1-release-candidate-build-20261206-universal.ipa",
                           "Waiting for the signing service to answer the request"}) {
    const auto laid = measurer.measure(
        {line, ui::Font::subheadline.weight(ui::Font::Weight::semibold), 0.8, 240.0, 1});
    ASSERT_EQ(laid.lines.size(), 1u) << line;
    EXPECT_TRUE(laid.truncated) << line;
    EXPECT_GT(laid.size.width, 240 - 15) << laid.lines[0];
    EXPECT_LE(laid.size.width, 240) << laid.lines[0];
  }
}

// Every script a sender is likely to write is measured with real glyphs: none is missing, and
// none is as wide as the boxes that stand for missing glyphs would be. What no font has is named.
TEST(PangoMeasurer, FallsBackToNotoAndNamesWhatNoFontDraws) {
  const ui::render::TextSystem text;
  const ui::render::PangoTextMeasurer measurer(text);
  struct Case {
    const char* script;
    const char* text;
    std::vector<char32_t> missing;
  };
  const Case cases[] = {
      {"Arabic", "تقرير المبيعات", {}},
      {"Hebrew", "דוח מכירות", {}},
      {"Devanagari", "बिक्री रिपोर्ट", {}},
      {"Thai", "รายงานการขาย", {}},
      {"Chinese", "销售报告", {}},
      {"Japanese", "売上レポート", {}},
      {"Korean", "판매 보고서", {}},
      {"emoji", "📊✅👍🏽👨‍👩‍👧🇯🇵", {}},
      {"unassigned", "a͸b͸", {0x378}},
      {"private use in a plane no font fills", "x󰀀", {0xF0000}},
  };
  const ui::Font font = ui::Font::subheadline;
  const double box = measurer.measure({"͸", font, 1, std::nullopt, 1}).size.width;
  for (const Case& c : cases) {
    const auto laid = measurer.measure({c.text, font, 1, std::nullopt, 1});
    EXPECT_EQ(laid.missingCharacters, c.missing) << c.script;
    if (c.missing.empty()) {
      std::size_t characters = 0;
      for (const char* p = c.text; *p; ++p) characters += (*p & 0xc0) != 0x80;
      EXPECT_NE(laid.size.width, box * static_cast<double>(characters)) << c.script;
    }
  }
}

// A text cut short ends between two grapheme clusters: an emoji sequence is kept whole or left
// out whole, never cut into its parts.
TEST(PangoMeasurer, TruncatesBetweenGraphemeClusters) {
  const ui::render::TextSystem text;
  const ui::render::PangoTextMeasurer measurer(text);
  const std::string family = "👨‍👩‍👧";
  std::string line;
  for (int i = 0; i < 12; ++i) line += family;
  for (double width : {40.0, 55.0, 70.0, 100.0}) {
    const auto laid = measurer.measure({line, ui::Font::headline, 1, width, 1});
    ASSERT_TRUE(laid.truncated) << width;
    std::string kept = laid.lines.at(0);
    ASSERT_TRUE(kept.ends_with("…")) << width;
    kept.resize(kept.size() - std::string("…").size());
    EXPECT_EQ(kept.size() % family.size(), 0u) << width << ": " << kept;
  }
}

// Pixels at the Cairo edge, with the private font configuration, compared with a small tolerance:
// a few differing pixels of antialiasing are fine, a moved text or colour is not. The Arabic and
// Japanese cards show that other scripts and colour emoji are drawn, and laid out, with real
// glyphs (no boxes) and that a right-to-left card reads from the right.
TEST(Pixels, KeyScenesMatchTheReviewedImages) {
  const ui::render::TextSystem text;
  const ui::render::PangoTextMeasurer measurer(text);
  const SceneCase cases[] = {
      {"sign-lockscreen-light", signActivity(kSignIcon), Presentation::lockScreen,
       Appearance::light},
      {"download-expanded-dark", downloadActivity(kDownload), Presentation::expanded,
       Appearance::dark},
      {"download-lockscreen-arabic-emoji-rtl-light", downloadActivity(kArabic),
       Presentation::lockScreen, Appearance::light, rightToLeft()},
      {"sign-lockscreen-japanese-dark", signActivity(kJapanese), Presentation::lockScreen,
       Appearance::dark},
  };
  for (const auto& c : cases) {
    const auto list =
        host::paint(host::layOutScene(c.activity, c.presentation, host::defaultDeviceProfile(),
                                      measurer, c.environment),
                    c.appearance);
    const ui::render::Bitmap actual = ui::render::renderBitmap(list, 1, text);
    const fs::path golden = kGolden / (std::string(c.name) + ".png");
    const fs::path actualPath = kGolden / (std::string(c.name) + ".actual.png");
    const std::string bytes = readFile(golden);
    const auto expected = image::UIImage::fromData(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    std::size_t differing = 0;
    const bool sameSize = expected &&
                          expected->width() == static_cast<std::uint32_t>(actual.width) &&
                          expected->height() == static_cast<std::uint32_t>(actual.height);
    if (sameSize) {
      const auto pixels = expected->rgba();
      for (std::size_t i = 0; i < actual.rgba.size(); i += 4) {
        for (std::size_t channel = 0; channel < 4; ++channel) {
          if (std::abs(int(pixels[i + channel]) - int(actual.rgba[i + channel])) > 24) {
            ++differing;
            break;
          }
        }
      }
    }
    const std::size_t allowed = actual.rgba.size() / 4 / 200;  // half a percent
    if (!sameSize || differing > allowed) {
      const auto png = ui::render::encodePNG(actual);
      std::ofstream(actualPath, std::ios::binary)
          .write(reinterpret_cast<const char*>(png.data()),
                 static_cast<std::streamsize>(png.size()));
      ADD_FAILURE() << c.name << ": "
                    << (sameSize ? std::to_string(differing) + " pixels differ"
                                 : std::string("size differs"))
                    << "; wrote " << actualPath;
    } else {
      fs::remove(actualPath);
    }
  }
}

std::string run(const std::string& command) {
  std::FILE* pipe = popen(command.c_str(), "r");
  std::string out;
  char buffer[4096];
  while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
  const int status = pclose(pipe);
  return WEXITSTATUS(status) == 0 ? out : "failed: " + out;
}

TEST(Outputs, SvgIsXmlAndPdfIsAPdf) {
  const ui::render::TextSystem text;
  const ui::render::PangoTextMeasurer measurer(text);
  const auto list = host::sheet(signActivity(kSignIcon), host::allPresentations,
                                std::array{Appearance::light, Appearance::dark},
                                host::defaultDeviceProfile(), measurer);
  const fs::path dir = fs::temp_directory_path();
  const fs::path svg = dir / "tolvex-render-test.svg";
  const fs::path pdf = dir / "tolvex-render-test.pdf";
  std::ofstream(svg, std::ios::binary) << ui::render::renderSVG(list, text);
  const auto pdfBytes = ui::render::renderPDF(list, text);
  std::ofstream(pdf, std::ios::binary)
      .write(reinterpret_cast<const char*>(pdfBytes.data()),
             static_cast<std::streamsize>(pdfBytes.size()));
  EXPECT_EQ(run("xmllint --noout " + svg.string() + " 2>&1"), "");
  if (std::system("command -v pdfinfo >/dev/null 2>&1") == 0) {
    EXPECT_NE(run("pdfinfo " + pdf.string() + " 2>&1").find("Pages:"), std::string::npos);
  }
  fs::remove(svg);
  fs::remove(pdf);
}

// Every item of a display list lies inside the surface, or is cut by a clip that does.
TEST(BadInput, RendersInBoundsAndInBoundedTime) {
  const ui::render::TextSystem text;
  const ui::render::PangoTextMeasurer measurer(text);
  const std::string huge(10 << 20, 'W');
  const std::string cases[] = {
      R"({"progress":1e300,"statusText":"","appName":"","detailText":""})",
      R"({"progress":-1e300,"statusText":"","statusCode":"","appName":"","detailText":"","appIconBase64":""})",
      R"({"progress":0.5,"statusText":")" + huge + R"(","appName":")" + huge +
          R"(","detailText":")" + huge + R"("})",
  };
  for (const std::string& json : cases) {
    const auto activity = signActivity(json);
    for (Presentation presentation : {Presentation::lockScreen, Presentation::expanded,
                                      Presentation::compactLeading, Presentation::minimal}) {
      const auto list = host::paint(
          host::layOutScene(activity, presentation, host::defaultDeviceProfile(), measurer),
          Appearance::dark);
      EXPECT_LE(list.height, 160 + 2 * 11 + 1e-9);
      EXPECT_EQ(list.width, host::defaultDeviceProfile().screenWidth);
      const auto png = ui::render::renderPNG(list, 1, text);
      EXPECT_GT(png.size(), 100u);
    }
  }
}

TEST(BadInput, DrawsTheLargestIconInItsPlace) {
  ui::render::Bitmap huge{4096, 4096, std::vector<std::uint8_t>(std::size_t{4096} * 4096 * 4, 200)};
  const auto png = ui::render::encodePNG(huge);
  huge.rgba = {};
  const std::string json =
      R"({"progress":0.5,"statusText":"s","appName":"a","detailText":"d","appIconBase64":")" +
      foundation::base64Encode(png) + R"("})";
  const auto activity = signActivity(json);
  const ui::render::TextSystem text;
  const ui::render::PangoTextMeasurer measurer(text);
  for (Presentation presentation : {Presentation::lockScreen, Presentation::minimal}) {
    const auto list = host::paint(
        host::layOutScene(activity, presentation, host::defaultDeviceProfile(), measurer),
        Appearance::light);
    const std::string dump = list.dump();
    // The icon is drawn into its small square, never at its own size.
    EXPECT_NE(dump.find("image 4096x4096 in"), std::string::npos);
    EXPECT_EQ(dump.find(", 4096, 4096)"), std::string::npos);
    EXPECT_GT(ui::render::renderPNG(list, 1, text).size(), 100u);
  }
}

}  // namespace
