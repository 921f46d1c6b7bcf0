// Drawing one state: the Sign Lock Screen at scale 3 to PNG in memory, split into layout and
// display list, drawing, and PNG encoding; the same to SVG, Cairo's and the page's; all
// presentations on one sheet; the PNG writer's options, each alone, on three pictures; check as a
// user runs it, on one state, for the default device and size against every device at every text
// size; and the page's answer to a progress update.
#include "platform/coding/json_decoder.hpp"
#include "platform/host/command_line.hpp"
#include "platform/host/device/sheet.hpp"
#include "platform/host/serve/page/page_preview.hpp"
#include "platform/ui/render/cairo_renderer.hpp"
#include "platform/ui/render/pango_text_measurer.hpp"
#include "platform/ui/render/png_writer.hpp"
#include "platform/ui/render/svg_writer.hpp"
#include "tolvex/extension/tolvex_widget_bundle.hpp"
#include "tolvex/sign/sign_dynamic_island.hpp"
#include "tolvex/sign/sign_lock_screen_view.hpp"

#include <benchmark/benchmark.h>
#include <spng.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <array>

namespace {

using ui::render::Appearance;

host::ActivityPresentations signActivity() {
  coding::JSONDecoder decoder;
  const auto state = decoder.decode<tolvex::SignLiveActivityAttributes::ContentState>(
      R"({"progress":0.4231,"statusText":"Signing with the development certificate",)"
      R"("statusCode":"signing","appName":"Photo Studio Pro",)"
      R"("detailText":"Applying entitlements to the main executable and 3 frameworks"})");
  const widgets::ActivityViewContext<tolvex::SignLiveActivityAttributes> context{state.value(), {}};
  return {tolvex::SignLockScreenView(context), tolvex::SignDynamicIsland(context)};
}

struct Fixture {
  ui::render::TextSystem text;
  ui::render::PangoTextMeasurer measurer{text};
  host::ActivityPresentations activity = signActivity();

  ui::render::DisplayList lockScreen() const {
    return host::paint(host::layOutScene(activity, host::Presentation::lockScreen,
                                         host::defaultDeviceProfile(), measurer),
                       Appearance::light);
  }
};

Fixture& fixture() {
  static Fixture value;
  return value;
}

// A fresh measurer each time: the layout of a state seen for the first time.
void LockScreenLayoutAndDisplayListCold(benchmark::State& state) {
  for (auto _ : state) {
    const ui::render::PangoTextMeasurer measurer(fixture().text);
    benchmark::DoNotOptimize(
        host::paint(host::layOutScene(fixture().activity, host::Presentation::lockScreen,
                                      host::defaultDeviceProfile(), measurer),
                    Appearance::light));
  }
}

// The measurer keeps its answers, as it does across the presentations of a sheet or the frames
// of a timeline.
void LockScreenLayoutAndDisplayList(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(fixture().lockScreen());
}

void LockScreenDrawScale3(benchmark::State& state) {
  const auto list = fixture().lockScreen();
  for (auto _ : state) benchmark::DoNotOptimize(ui::render::renderBitmap(list, 3, fixture().text));
}

void LockScreenEncodePNGScale3(benchmark::State& state) {
  const auto bitmap = ui::render::renderBitmap(fixture().lockScreen(), 3, fixture().text);
  for (auto _ : state) benchmark::DoNotOptimize(ui::render::encodePNG(bitmap));
  state.counters["pixels"] = bitmap.width * bitmap.height;
}

void LockScreenPNGScale3(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(ui::render::renderPNG(fixture().lockScreen(), 3, fixture().text));
  }
}

void LockScreenSVG(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(ui::render::renderSVG(fixture().lockScreen(), fixture().text));
  }
}

// The same list as the page's SVG: our writer, its glyph outlines kept from the calls before.
void LockScreenPageSVG(benchmark::State& state) {
  ui::render::SvgWriter writer(fixture().text);
  const ui::render::DisplayList list = fixture().lockScreen();
  for (auto _ : state) {
    benchmark::DoNotOptimize(writer.write(list));
  }
}

void AllPresentationsSheetPNG(benchmark::State& state) {
  const std::array appearances{Appearance::light, Appearance::dark};
  for (auto _ : state) {
    const auto list = host::sheet(fixture().activity, host::allPresentations, appearances,
                                  host::defaultDeviceProfile(), fixture().measurer);
    benchmark::DoNotOptimize(ui::render::renderPNG(list, 2, fixture().text));
  }
}

// --- PNG encoding options, each alone against today's libspng settings, on three pictures ---

// The encoder before this comparison: libspng, deflate level 1, no filtering, always RGBA.
std::vector<std::uint8_t> spngToday(const ui::render::Bitmap& bitmap) {
  std::unique_ptr<spng_ctx, void (*)(spng_ctx*)> ctx(spng_ctx_new(SPNG_CTX_ENCODER), spng_ctx_free);
  spng_set_option(ctx.get(), SPNG_ENCODE_TO_BUFFER, 1);
  spng_set_option(ctx.get(), SPNG_IMG_COMPRESSION_LEVEL, 1);
  spng_set_option(ctx.get(), SPNG_FILTER_CHOICE, SPNG_DISABLE_FILTERING);
  spng_ihdr ihdr{static_cast<std::uint32_t>(bitmap.width),
                 static_cast<std::uint32_t>(bitmap.height),
                 8,
                 SPNG_COLOR_TYPE_TRUECOLOR_ALPHA,
                 0,
                 0,
                 0};
  spng_set_ihdr(ctx.get(), &ihdr);
  if (spng_encode_image(ctx.get(), bitmap.rgba.data(), bitmap.rgba.size(), SPNG_FMT_PNG,
                        SPNG_ENCODE_FINALIZE))
    throw std::runtime_error("spng failed");
  std::size_t size = 0;
  int error = 0;
  std::unique_ptr<void, void (*)(void*)> buffer(spng_get_png_buffer(ctx.get(), &size, &error),
                                                free);
  const auto* bytes = static_cast<const std::uint8_t*>(buffer.get());
  return {bytes, bytes + size};
}

const ui::render::Bitmap& picture(int which) {
  static const ui::render::Bitmap pictures[] = {
      ui::render::renderBitmap(fixture().lockScreen(), 3, fixture().text),
      ui::render::renderBitmap(
          host::paint(host::layOutScene(fixture().activity, host::Presentation::expanded,
                                        host::defaultDeviceProfile(), fixture().measurer),
                      Appearance::dark),
          3, fixture().text),
      ui::render::renderBitmap(host::sheet(fixture().activity, host::allPresentations,
                                           std::array{Appearance::light, Appearance::dark},
                                           host::defaultDeviceProfile(), fixture().measurer),
                               2, fixture().text),
  };
  return pictures[which];
}

void encodeWith(benchmark::State& state, int which, std::optional<ui::render::PngOptions> options) {
  const auto& bitmap = picture(which);
  std::size_t size = 0;
  for (auto _ : state) {
    auto png = options ? ui::render::writePNG(bitmap.width, bitmap.height, bitmap.rgba, *options)
                       : spngToday(bitmap);
    size = png.size();
    benchmark::DoNotOptimize(png);
  }
  state.counters["bytes"] = static_cast<double>(size);
}

void registerPngOptions() {
  using Options = ui::render::PngOptions;
  // Our writer with zlib (no filter, RGBA, level 1, default strategy), each option then changed
  // alone; zlib as chosen before our own deflate writer; and what the renderer uses.
  Options plain;
  plain.deflate = Options::Deflate::zlib;
  plain.rgbWhenOpaque = false;
  plain.filter = Options::Filter::none;
  plain.rle = false;
  Options rgb = plain;
  rgb.rgbWhenOpaque = true;
  Options rleUp = plain;
  rleUp.rle = true;
  rleUp.filter = Options::Filter::up;
  Options rleSub = rleUp;
  rleSub.filter = Options::Filter::sub;
  Options libdeflate = plain;
  libdeflate.deflate = Options::Deflate::libdeflate;
  Options libdeflateUp = libdeflate;
  libdeflateUp.filter = Options::Filter::up;
  Options bands = plain;
  bands.bands = 2;
  Options zlibChosen;  // the choice before our own deflate writer
  zlibChosen.deflate = Options::Deflate::zlib;
  Options rowsUp;
  rowsUp.filter = Options::Filter::up;
  const std::pair<const char*, std::optional<Options>> variants[] = {
      {"spngToday", std::nullopt},
      {"plain", plain},
      {"rgb", rgb},
      {"rleUp", rleUp},
      {"rleSub", rleSub},
      {"libdeflate1", libdeflate},
      {"libdeflate1Up", libdeflateUp},
      {"bands2", bands},
      {"zlibChosen", zlibChosen},
      {"rowsUp", rowsUp},
      {"chosen", Options{}},
  };
  const char* pictures[] = {"lockScreen3x", "expanded3x", "sheet2x"};
  for (int which = 0; which < 3; ++which) {
    for (const auto& [name, options] : variants) {
      benchmark::RegisterBenchmark(
          (std::string("PNGOption/") + pictures[which] + "/" + name).c_str(),
          [which, options = options](benchmark::State& s) { encodeWith(s, which, options); })
          ->Unit(benchmark::kMicrosecond);
    }
  }
}

// The whole command, text system and all, as `tolvex-widget check ... state.json` runs it.
void runCheck(benchmark::State& state, std::vector<const char*> options) {
  const std::string input =
      R"({"attributes-type":"DownloadLiveActivityAttributes","attributes":{"taskId":"t"},)"
      R"("content-state":{"progress":0.3,"statusText":"Downloading",)"
      R"("fileName":"Holiday-Photos-Backup-2026-12.zip","transferredText":"61 MB",)"
      R"("totalText":"204 MB","etaText":"2 min"}})";
  options.insert(options.begin(), {"tolvex-widget", "check"});
  for (auto _ : state) {
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    const int status = host::runCommandLine(static_cast<int>(options.size()), options.data(),
                                            tolvex::registeredActivities, {}, in, out, err);
    if (status != 0) state.SkipWithError("check failed");
    benchmark::DoNotOptimize(out.str());
  }
}

// The page's answer for a Download progress update as it follows pushes: the page holds the
// drawings of the state before, so only the changed ones are drawn. With `all known`, the page
// holds every drawing asked for: what an answer costs before any SVG is made.
host::serve::PagePreview& pagePreview() {
  static const host::ActivityRegistry registry(
      widgets::registeredActivities(tolvex::TolvexWidgetBundle{}, widgets::defaultSystemVersion),
      widgets::defaultSystemVersion);
  static host::serve::PagePreview preview(registry);
  return preview;
}

std::string downloadDocument(int step) {
  return R"({"attributes-type":"DownloadLiveActivityAttributes","attributes":{"taskId":"bench"},)"
         R"("content-state":{"progress":)" +
         std::to_string((step % 60 + 1) / 61.0) +
         R"(,"statusText":"Downloading from the build server","fileName":"PhotoStudioPro-4.2.1.ipa",)"
         R"("transferredText":"112.4 MB","totalText":"181.9 MB","etaText":"About 2 minutes left"}})";
}

std::vector<std::string> drawingKeys(const std::string& answer) {
  std::vector<std::string> keys;
  for (const std::string_view name : {"\"lightKey\":\"", "\"darkKey\":\""}) {
    for (std::size_t at = answer.find(name); at != std::string::npos; at = answer.find(name, at)) {
      at += name.size();
      keys.push_back(answer.substr(at, 16));
    }
  }
  return keys;
}

void PageAnswerProgressUpdate(benchmark::State& state) {
  const bool allKnown = state.range(0) != 0;
  host::serve::PreviewOptions options;
  int step = 0;
  options.known = drawingKeys(pagePreview().json(downloadDocument(step), "", options));
  for (auto _ : state) {
    const std::string document = downloadDocument(allKnown ? step : ++step);
    const std::string answer = pagePreview().json(document, "", options);
    benchmark::DoNotOptimize(answer.data());
    if (!allKnown) options.known = drawingKeys(answer);
    state.counters["bytes"] = static_cast<double>(answer.size());
  }
}

void CheckOneDeviceDefaultSize(benchmark::State& state) {
  runCheck(state, {"--device", "iphone-15-pro"});
}

void CheckEveryDeviceEverySize(benchmark::State& state) {
  runCheck(state, {"--device", "all", "--text-size", "all"});
}

BENCHMARK(CheckOneDeviceDefaultSize)->Unit(benchmark::kMillisecond);
BENCHMARK(CheckEveryDeviceEverySize)->Unit(benchmark::kMillisecond);
BENCHMARK(LockScreenLayoutAndDisplayListCold)->Unit(benchmark::kMicrosecond);
BENCHMARK(LockScreenLayoutAndDisplayList)->Unit(benchmark::kMicrosecond);
BENCHMARK(LockScreenDrawScale3)->Unit(benchmark::kMicrosecond);
BENCHMARK(LockScreenEncodePNGScale3)->Unit(benchmark::kMicrosecond);
BENCHMARK(LockScreenPNGScale3)->Unit(benchmark::kMicrosecond);
BENCHMARK(LockScreenSVG)->Unit(benchmark::kMicrosecond);
BENCHMARK(LockScreenPageSVG)->Unit(benchmark::kMicrosecond);
BENCHMARK(AllPresentationsSheetPNG)->Unit(benchmark::kMillisecond);
BENCHMARK(PageAnswerProgressUpdate)
    ->ArgName("allKnown")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  registerPngOptions();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
