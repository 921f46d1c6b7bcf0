// Drawing one state: the Sign Lock Screen at scale 3 to PNG in memory, split into layout and
// display list, drawing, and PNG encoding; the same to SVG; and all presentations on one sheet.
#include "platform/coding/json_decoder.hpp"
#include "platform/host/device/sheet.hpp"
#include "platform/ui/render/cairo_renderer.hpp"
#include "platform/ui/render/pango_text_measurer.hpp"
#include "tolvex/sign/sign_dynamic_island.hpp"
#include "tolvex/sign/sign_lock_screen_view.hpp"

#include <benchmark/benchmark.h>

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

void AllPresentationsSheetPNG(benchmark::State& state) {
  const std::array appearances{Appearance::light, Appearance::dark};
  for (auto _ : state) {
    const auto list = host::sheet(fixture().activity, host::allPresentations, appearances,
                                  host::defaultDeviceProfile(), fixture().measurer);
    benchmark::DoNotOptimize(ui::render::renderPNG(list, 2, fixture().text));
  }
}

BENCHMARK(LockScreenLayoutAndDisplayListCold)->Unit(benchmark::kMicrosecond);
BENCHMARK(LockScreenLayoutAndDisplayList)->Unit(benchmark::kMicrosecond);
BENCHMARK(LockScreenDrawScale3)->Unit(benchmark::kMicrosecond);
BENCHMARK(LockScreenEncodePNGScale3)->Unit(benchmark::kMicrosecond);
BENCHMARK(LockScreenPNGScale3)->Unit(benchmark::kMicrosecond);
BENCHMARK(LockScreenSVG)->Unit(benchmark::kMicrosecond);
BENCHMARK(AllPresentationsSheetPNG)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
