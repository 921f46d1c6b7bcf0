// Decoding one content state: ours against two references on the same bytes, in one process.
//  - simdjson's DOM parse alone: validates the whole document as ours must and builds no record;
//    the floor.
//  - nlohmann::json: a straightforward decode into the same struct with the same checks; what a
//    typical user would write.
#include "platform/coding/json_decoder.hpp"
#include "tolvex/model/download_live_activity_attributes.hpp"
#include "tolvex/model/sign_live_activity_attributes.hpp"

#include <benchmark/benchmark.h>
#include <simdjson.h>
#include <nlohmann/json.hpp>

#include <optional>
#include <stdexcept>
#include <string>

namespace {

using tolvex::DownloadLiveActivityAttributes;
using tolvex::SignLiveActivityAttributes;
using SignState = SignLiveActivityAttributes::ContentState;
using DownloadState = DownloadLiveActivityAttributes::ContentState;

std::string icon() {
  // About 3 KB of base64 text, as a small PNG icon would give.
  static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (std::size_t i = 0; i < 3072; ++i) text += alphabet[(i * 37 + 11) % 64];
  return text;
}

std::string signJson(bool withIcon) {
  std::string json =
      R"({"progress":0.4231,"statusText":"Signing with the development certificate",)"
      R"("statusCode":"signing","appName":"Photo Studio Pro",)"
      R"("detailText":"Applying entitlements to the main executable and 3 frameworks")";
  if (withIcon) json += R"(,"appIconBase64":")" + icon() + '"';
  return json + "}";
}

std::string downloadJson(bool withIcon) {
  std::string json =
      R"({"progress":0.6180339887,"statusText":"Downloading from the build server",)"
      R"("fileName":"PhotoStudioPro-4.2.1-release-candidate.ipa","transferredText":"112.4 MB",)"
      R"("totalText":"181.9 MB","etaText":"About 2 minutes left")";
  if (withIcon) json += R"(,"appIconBase64":")" + icon() + '"';
  return json + "}";
}

// --- nlohmann::json: the same required/optional/type rules, written the usual way ---

using nlohmann::json;

const json& required(const json& object, const char* key) {
  const auto it = object.find(key);
  if (it == object.end()) throw std::runtime_error(std::string("keyNotFound: ") + key);
  if (it->is_null()) throw std::runtime_error(std::string("valueNotFound: ") + key);
  return *it;
}

tolvex::String requiredString(const json& object, const char* key) {
  const json& value = required(object, key);
  if (!value.is_string()) throw std::runtime_error(std::string("typeMismatch: ") + key);
  return tolvex::String(value.get_ref<const std::string&>());
}

double requiredNumber(const json& object, const char* key) {
  const json& value = required(object, key);
  if (!value.is_number()) throw std::runtime_error(std::string("typeMismatch: ") + key);
  return value.get<double>();
}

std::optional<tolvex::String> optionalString(const json& object, const char* key) {
  const auto it = object.find(key);
  if (it == object.end() || it->is_null()) return std::nullopt;
  if (!it->is_string()) throw std::runtime_error(std::string("typeMismatch: ") + key);
  return tolvex::String(it->get_ref<const std::string&>());
}

std::optional<SignState> nlohmannSign(const std::string& text) {
  try {
    const json object = json::parse(text);
    if (!object.is_object()) return std::nullopt;
    SignState s;
    s.progress = requiredNumber(object, "progress");
    s.statusText = requiredString(object, "statusText");
    s.statusCode = optionalString(object, "statusCode");
    s.appName = requiredString(object, "appName");
    s.detailText = requiredString(object, "detailText");
    s.appIconBase64 = optionalString(object, "appIconBase64");
    return s;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<DownloadState> nlohmannDownload(const std::string& text) {
  try {
    const json object = json::parse(text);
    if (!object.is_object()) return std::nullopt;
    DownloadState s;
    s.progress = requiredNumber(object, "progress");
    s.statusText = requiredString(object, "statusText");
    s.fileName = requiredString(object, "fileName");
    s.transferredText = requiredString(object, "transferredText");
    s.totalText = requiredString(object, "totalText");
    s.etaText = requiredString(object, "etaText");
    s.appIconBase64 = optionalString(object, "appIconBase64");
    return s;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// --- the three contenders ---

// As simdjson reads its padded_string where it lies, ours reads a string with room after its end
// where it lies; `copied` passes a string_view, which the reader must copy into a padded buffer.
template <class State>
void ours(benchmark::State& bench, const std::string& input, bool copied) {
  coding::JSONDecoder decoder;
  std::string text = input;
  text.reserve(text.size() + coding::JsonDocument::readAhead);
  for (auto _ : bench) {
    auto result =
        copied ? decoder.decode<State>(std::string_view(text)) : decoder.decode<State>(text);
    if (!result) bench.SkipWithError("rejected");
    benchmark::DoNotOptimize(result);
  }
  bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations() * text.size()));
}

void simdjsonFloor(benchmark::State& bench, const std::string& text) {
  simdjson::dom::parser parser;
  const simdjson::padded_string padded(text);
  for (auto _ : bench) {
    simdjson::dom::element root;
    if (parser.parse(padded).get(root)) bench.SkipWithError("rejected");
    benchmark::DoNotOptimize(root);
  }
  bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations() * text.size()));
}

template <class Decode>
void nlohmannPeer(benchmark::State& bench, const std::string& text, Decode decode) {
  for (auto _ : bench) {
    auto result = decode(text);
    if (!result) bench.SkipWithError("rejected");
    benchmark::DoNotOptimize(result);
  }
  bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations() * text.size()));
}

void registerAll() {
  for (bool withIcon : {false, true}) {
    const std::string suffix = withIcon ? "/icon3KB" : "/typical";
    const std::string sign = signJson(withIcon);
    const std::string download = downloadJson(withIcon);
    benchmark::RegisterBenchmark(("Sign/ours" + suffix).c_str(), ours<SignState>, sign, false);
    benchmark::RegisterBenchmark(("Sign/oursCopied" + suffix).c_str(), ours<SignState>, sign, true);
    benchmark::RegisterBenchmark(("Sign/simdjsonDomParse" + suffix).c_str(), simdjsonFloor, sign);
    benchmark::RegisterBenchmark(("Sign/nlohmann" + suffix).c_str(), [sign](benchmark::State& s) {
      nlohmannPeer(s, sign, nlohmannSign);
    });
    benchmark::RegisterBenchmark(("Download/ours" + suffix).c_str(), ours<DownloadState>, download,
                                 false);
    benchmark::RegisterBenchmark(("Download/oursCopied" + suffix).c_str(), ours<DownloadState>,
                                 download, true);
    benchmark::RegisterBenchmark(("Download/simdjsonDomParse" + suffix).c_str(), simdjsonFloor,
                                 download);
    benchmark::RegisterBenchmark(
        ("Download/nlohmann" + suffix).c_str(),
        [download](benchmark::State& s) { nlohmannPeer(s, download, nlohmannDownload); });
  }
}

}  // namespace

int main(int argc, char** argv) {
  registerAll();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
