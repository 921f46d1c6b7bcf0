#include "platform/host/command_line.hpp"
#include "platform/host/device/fit_report.hpp"
#include "platform/ui/render/pango_text_measurer.hpp"
#include "tolvex/extension/tolvex_widget_bundle.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

struct Outcome {
  int status;
  std::string out;
};

Outcome check(std::vector<const char*> args, const std::string& demoSample) {
  std::ifstream file(std::string(TOLVEX_EXAMPLES_DIR) + "/demo/" + demoSample);
  std::stringstream input;
  input << file.rdbuf();
  args.insert(args.begin(), {"tolvex-widget", "check"});
  std::istringstream in(input.str());
  std::ostringstream out;
  std::ostringstream err;
  const int status = host::runCommandLine(static_cast<int>(args.size()), args.data(),
                                          tolvex::registeredActivities, {}, in, out, err);
  return {status, out.str()};
}

std::size_t count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(Contrast, FollowsTheWcagFormula) {
  const ui::render::RGBA white{1, 1, 1, 1};
  const ui::render::RGBA black{0, 0, 0, 1};
  // By hand: the light green (52, 199, 89) has relative luminance 0.4230, so (1.05) / (0.4730).
  const ui::render::RGBA green{52 / 255.0, 199 / 255.0, 89 / 255.0, 1};
  EXPECT_NEAR(host::contrastRatio(black, white), 21, 1e-9);
  EXPECT_NEAR(host::contrastRatio(green, white), 2.22, 0.005);
  EXPECT_NEAR(host::contrastRatio(white, green), host::contrastRatio(green, white), 1e-12);
}

TEST(FitReport, SaysNothingOfAShortPlainText) {
  const ui::render::TextSystem text;
  const ui::render::PangoTextMeasurer measurer(text);
  const host::ActivityPresentations plain{
      ui::Text("Ready"), widgets::DynamicIsland({}, ui::Text("R"), ui::Text("1"), ui::Text("R"))};
  for (const auto presentation : host::allPresentations) {
    const auto report =
        host::fitReport(plain, presentation, host::defaultDeviceProfile(), measurer);
    EXPECT_FALSE(report.clipped) << host::presentationName(presentation);
    for (const auto& fit : report.texts) {
      EXPECT_FALSE(fit.truncated);
      EXPECT_EQ(fit.scale, 1);
      // Black on the white card, white on the island's black.
      EXPECT_NEAR(fit.contrastDark, 21, 1e-9);
    }
  }
}

TEST(CheckCommand, ReportsWhatIsCutShrunkAndClippedPerDevice) {
  const struct {
    std::vector<const char*> args;
    std::string sample;
    int status;
    std::vector<std::pair<std::string, std::size_t>> says;  // a part and how often it appears
  } cases[] = {
      // A long file name shrinks to its minimum and is still cut, on every phone and tablet;
      // the island's presentations are checked only where there is an island.
      {{},
       "download-long-name.json",
       0,
       {{"iphone-15-pro lockscreen: \"PhotoStudioPro", 1},
        {"iphone-15-pro-max lockscreen: \"PhotoStudioPro", 1},
        {"ipad-11 lockscreen: \"PhotoStudioPro", 1},
        {"is truncated to 1 line at 80% of its size", 8},
        {"expanded: \"PhotoStudioPro", 5},
        {"not shown", 0}}},
      // What the field reports: a name the 393-point phone shows whole, a little shrunk, is cut
      // on the 375-point phone.
      {{"--type", "DownloadLiveActivityAttributes.ContentState", "--device", "all"},
       "../download-state-long-name.json",
       0,
       {{"iphone-15-pro lockscreen: \"Holiday-Photos-Backup-2026-12.zip\" is shrunk to", 1},
        {"iphone-13-mini lockscreen: \"Holiday-Photos-Backup-2026-12.zip\" is truncated", 1}}},
      // Named, the phone without an island says which presentations it does not show.
      {{"--type", "DownloadLiveActivityAttributes.ContentState", "--device", "iphone-13-mini"},
       "../download-state-long-name.json",
       0,
       {{"iphone-13-mini lockscreen: \"Holiday", 1},
        {": not shown: this device has no Dynamic Island", 4}}},
      // An overlong status pushes the expanded island past its 160 points; --strict fails on it.
      {{"--strict", "--device", "iphone-15-pro"},
       "sign-long-names.json",
       1,
       {{"iphone-15-pro expanded: the presentation needs 371 x ", 1},
        {"and is cut at 371 x 160", 1},
        {"iphone-15-pro-max", 0}}},
      {{"--json", "--device", "iphone-15-pro-max"},
       "download-long-name.json",
       0,
       {{"\"device\": \"iphone-15-pro-max\"", 5},
        {"\"presentation\": \"compact-trailing\"", 1},
        {"\"scale\": 0.8, \"truncated\": true", 1}}},
      // An empty time left draws nothing: no contrast finding quotes it, the other texts' stand.
      {{"--type", "DownloadLiveActivityAttributes.ContentState", "--advice"},
       "../download-state-done.json",
       0,
       {{"\"\"", 0},
        {"lockscreen (light): the platform's secondary text on white has contrast 3.4:1", 8},
        {"\"Download complete\"", 8}}},
      // What a sender can change comes first; the platform's own colours are advice, held back
      // unless asked for and then one line per presentation and appearance.
      {{"--device", "iphone-15-pro"},
       "../sign-timeline.jsonl",
       0,
       {{"line 4: iphone-15-pro lockscreen (light): \"Signed\" in green on white has contrast "
         "2.2:1",
         1},
        {"secondary text", 0},
        {"(4 lines of advice on the platform's own text colours: --advice shows them)", 1}}},
      {{"--device", "iphone-15-pro", "--advice"},
       "../sign-timeline.jsonl",
       0,
       {{"(light): the platform's secondary text", 4}, {"--advice shows", 0}}},
      // At every text size: where each text is first cut and where the card first clips. The
      // island keeps its size, so its findings are those of the default size.
      {{"--type", "DownloadLiveActivityAttributes.ContentState", "--device", "iphone-15-pro",
        "--text-size", "all"},
       "../download-state-long-name.json",
       0,
       {{"iphone-15-pro lockscreen: \"Holiday-Photos-Backup-2026-12.zip\" is first truncated at "
         "xLarge (it fits up to Large)",
         1},
        {"iphone-15-pro lockscreen: first clipped at AX", 1},
        {"iphone-15-pro expanded", 0}}},
      // Every size in JSON: the Lock Screen at each of the 12, the island's four once.
      {{"--device", "iphone-15-pro", "--text-size", "all", "--json"},
       "sign-pending.json",
       0,
       {{"\"presentation\": \"lockscreen\", \"shown\": true, \"textSize\": \"", 12},
        {"\"textSize\": \"AX5\"", 1},
        {"\"device\": ", 16}}},
      // A surface asked for on a device without it takes its default device; all devices cover
      // those that have it.
      {{"--presentation", "smart-stack", "--device", "iphone-15-pro", "--json"},
       "sign-pending.json",
       0,
       {{"\"device\": \"watch-45mm\", \"presentation\": \"smart-stack\"", 1}, {"\"device\": ", 1}}},
      {{"--presentation", "carplay", "--json"},
       "sign-pending.json",
       0,
       {{"\"device\": \"carplay-", 3}, {"\"device\": ", 3}}},
      {{"--device", "iphone-15-pro", "--text-size", "AX3", "--strict"},
       "sign-pending.json",
       1,
       {{"iphone-15-pro lockscreen at AX3: the presentation needs 371 x ", 1},
        {"iphone-15-pro compact-trailing at", 0}}},
  };
  for (const auto& c : cases) {
    const Outcome outcome = check(c.args, c.sample);
    EXPECT_EQ(outcome.status, c.status) << c.sample;
    for (const auto& [part, times] : c.says) {
      EXPECT_EQ(count(outcome.out, part), times) << part << "\n" << outcome.out;
    }
  }
}

}  // namespace
