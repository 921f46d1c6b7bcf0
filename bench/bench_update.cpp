// One update as the host sees it: decode a content state, then build both presentations of its
// activity. Measured whole and in parts (decoding, building, the icon) so the shares add up.
#include "platform/coding/json_decoder.hpp"
#include "platform/foundation/base64.hpp"
#include "platform/image/image_cache.hpp"
#include "tolvex/download/download_dynamic_island.hpp"
#include "tolvex/download/download_lock_screen_view.hpp"
#include "tolvex/presentation/app_icon.hpp"
#include "tolvex/sign/sign_dynamic_island.hpp"
#include "tolvex/sign/sign_lock_screen_view.hpp"

#include <benchmark/benchmark.h>
#include <spng.h>

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using tolvex::DownloadLiveActivityAttributes;
using tolvex::SignLiveActivityAttributes;

// A 24 x 24 PNG of noise: about 3 KB of base64, like a small app icon that barely compresses.
std::string iconBase64() {
  constexpr std::uint32_t side = 24;
  std::vector<std::uint8_t> pixels(side * side * 4);
  std::mt19937 random(7);
  for (auto& p : pixels) p = static_cast<std::uint8_t>(random());
  spng_ctx* ctx = spng_ctx_new(SPNG_CTX_ENCODER);
  spng_set_option(ctx, SPNG_ENCODE_TO_BUFFER, 1);
  spng_ihdr ihdr{side, side, 8, SPNG_COLOR_TYPE_TRUECOLOR_ALPHA, 0, 0, 0};
  spng_set_ihdr(ctx, &ihdr);
  if (spng_encode_image(ctx, pixels.data(), pixels.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE)) {
    throw std::runtime_error("cannot encode the sample icon");
  }
  std::size_t size = 0;
  int error = 0;
  auto* png = static_cast<std::uint8_t*>(spng_get_png_buffer(ctx, &size, &error));
  std::string text = foundation::base64Encode(std::span<const std::uint8_t>(png, size));
  free(png);
  spng_ctx_free(ctx);
  return text;
}

std::string signJson(const std::string& icon) {
  std::string json =
      R"({"progress":0.4231,"statusText":"Signing with the development certificate",)"
      R"("statusCode":"signing","appName":"Photo Studio Pro",)"
      R"("detailText":"Applying entitlements to the main executable and 3 frameworks")";
  if (!icon.empty()) json += R"(,"appIconBase64":")" + icon + '"';
  return json + "}";
}

std::string downloadJson(const std::string& icon) {
  std::string json =
      R"({"progress":0.6180339887,"statusText":"Downloading from the build server",)"
      R"("fileName":"PhotoStudioPro-4.2.1-release-candidate.ipa","transferredText":"112.4 MB",)"
      R"("totalText":"181.9 MB","etaText":"About 2 minutes left")";
  if (!icon.empty()) json += R"(,"appIconBase64":")" + icon + '"';
  return json + "}";
}

template <class Attributes>
struct Activity {
  ui::View (*lockScreen)(const widgets::ActivityViewContext<Attributes>&);
  widgets::DynamicIsland (*island)(const widgets::ActivityViewContext<Attributes>&);
};

const Activity<SignLiveActivityAttributes> sign{tolvex::SignLockScreenView,
                                                tolvex::SignDynamicIsland};
const Activity<DownloadLiveActivityAttributes> download{tolvex::DownloadLockScreenView,
                                                        tolvex::DownloadDynamicIsland};

// Each builds with an image cache of its own, as whoever draws does.
template <class Attributes>
void update(benchmark::State& bench, Activity<Attributes> activity, const std::string& json) {
  coding::JSONDecoder decoder;
  image::ImageCache images;
  for (auto _ : bench) {
    auto state = decoder.decode<typename Attributes::ContentState>(json);
    if (!state) bench.SkipWithError("rejected");
    const widgets::ActivityViewContext<Attributes> context{std::move(state).value(), {}, &images};
    auto lockScreen = activity.lockScreen(context);
    auto island = activity.island(context);
    benchmark::DoNotOptimize(lockScreen);
    benchmark::DoNotOptimize(island);
  }
}

template <class Attributes>
void decodeOnly(benchmark::State& bench, const std::string& json) {
  coding::JSONDecoder decoder;
  for (auto _ : bench) {
    auto state = decoder.decode<typename Attributes::ContentState>(json);
    benchmark::DoNotOptimize(state);
  }
}

template <class Attributes>
void buildOnly(benchmark::State& bench, Activity<Attributes> activity, const std::string& json) {
  coding::JSONDecoder decoder;
  image::ImageCache images;
  const widgets::ActivityViewContext<Attributes> context{
      decoder.decode<typename Attributes::ContentState>(json).value(), {}, &images};
  for (auto _ : bench) {
    auto lockScreen = activity.lockScreen(context);
    auto island = activity.island(context);
    benchmark::DoNotOptimize(lockScreen);
    benchmark::DoNotOptimize(island);
  }
}

// One icon decoded from its text with no cache: what each place that shows it paid before.
void iconUncached(benchmark::State& bench, const std::string& icon) {
  for (auto _ : bench) {
    const auto bytes = foundation::base64Decode(icon);
    auto image = image::UIImage::fromData(bytes.value());
    benchmark::DoNotOptimize(image);
  }
}

// A hit: the text compared with the entry used last, and a copy of the shared image. A miss: the
// hash and lookup in a cache that keeps nothing, then the decode.
void iconCache(benchmark::State& bench, const std::string& icon, bool hit) {
  image::ImageCache cache(hit ? image::ImageCache::Limits{} : image::ImageCache::Limits{0, 0});
  benchmark::DoNotOptimize(cache.fromBase64(icon));
  for (auto _ : bench) {
    auto image = cache.fromBase64(icon);
    benchmark::DoNotOptimize(image);
  }
}

void registerAll() {
  const std::string icon = iconBase64();
  for (const bool withIcon : {false, true}) {
    const std::string suffix = withIcon ? "/icon" : "/noIcon";
    const std::string signText = signJson(withIcon ? icon : "");
    const std::string downloadText = downloadJson(withIcon ? icon : "");
    benchmark::RegisterBenchmark(("Sign/update" + suffix).c_str(),
                                 update<SignLiveActivityAttributes>, sign, signText);
    benchmark::RegisterBenchmark(("Sign/decode" + suffix).c_str(),
                                 decodeOnly<SignLiveActivityAttributes>, signText);
    benchmark::RegisterBenchmark(("Sign/build" + suffix).c_str(),
                                 buildOnly<SignLiveActivityAttributes>, sign, signText);
    benchmark::RegisterBenchmark(("Download/update" + suffix).c_str(),
                                 update<DownloadLiveActivityAttributes>, download, downloadText);
    benchmark::RegisterBenchmark(("Download/decode" + suffix).c_str(),
                                 decodeOnly<DownloadLiveActivityAttributes>, downloadText);
    benchmark::RegisterBenchmark(("Download/build" + suffix).c_str(),
                                 buildOnly<DownloadLiveActivityAttributes>, download, downloadText);
  }
  const std::string size = std::to_string(icon.size()) + "B";
  benchmark::RegisterBenchmark(("Icon/uncached/" + size).c_str(), iconUncached, icon);
  benchmark::RegisterBenchmark(("Icon/cacheHit/" + size).c_str(), iconCache, icon, true);
  benchmark::RegisterBenchmark(("Icon/cacheMiss/" + size).c_str(), iconCache, icon, false);
}

}  // namespace

int main(int argc, char** argv) {
  registerAll();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
