// Generated records survive encoding and decoding unchanged.
#include "platform/coding/json_decoder.hpp"
#include "platform/coding/json_encoder.hpp"
#include "tolvex/model/download_live_activity_attributes.hpp"
#include "tolvex/model/sign_live_activity_attributes.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <concepts>
#include <random>

namespace {

using tolvex::DownloadLiveActivityAttributes;
using tolvex::SignLiveActivityAttributes;
using SignState = SignLiveActivityAttributes::ContentState;
using DownloadState = DownloadLiveActivityAttributes::ContentState;

class Generator {
 public:
  explicit Generator(unsigned seed) : random_(seed) {}

  double progress() {
    switch (pick(6)) {
      case 0:
        return std::uniform_real_distribution<double>(0, 1)(random_);
      case 1:
        return -0.0;
      case 2: {
        // Any finite double, by its bits.
        double d;
        do {
          d = std::bit_cast<double>(std::uniform_int_distribution<std::uint64_t>()(random_));
        } while (!std::isfinite(d));
        return d;
      }
      case 3:
        return static_cast<double>(std::uniform_int_distribution<std::int64_t>()(random_));
      case 4:
        return 1e21 * static_cast<double>(pick(1000));
      default:
        return static_cast<double>(pick(101)) / 100;
    }
  }

  tolvex::String text() {
    static const char* pieces[] = {"a",    "Z",      " ",       "\"",     "\\",         "\n",
                                   "\x01", "\u00e9", "e\u0301", "\u20ac", "\U0001F600", "/",
                                   "\x7f", "%@",     "\u2028",  "\t"};
    std::string out;
    const std::size_t length = pick(12);
    for (std::size_t i = 0; i < length; ++i) out += pieces[pick(std::size(pieces))];
    return tolvex::String(out);
  }

  std::optional<tolvex::String> optionalText() {
    if (pick(3) == 0) return std::nullopt;
    return text();
  }

  std::size_t pick(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_);
  }

 private:
  std::mt19937_64 random_;
};

template <class T>
void expectRoundTrip(const T& value, coding::JSONDecoder& decoder) {
  const auto encoded = coding::encodeJSON(value);
  ASSERT_TRUE(encoded.ok()) << encoded.error().description();
  const auto decoded = decoder.decode<T>(*encoded);
  ASSERT_TRUE(decoded.ok()) << *encoded << ": " << decoded.error().description();
  EXPECT_EQ(*decoded, value) << *encoded;
  EXPECT_EQ(std::bit_cast<std::uint64_t>(decoded->progress),
            std::bit_cast<std::uint64_t>(value.progress))
      << *encoded;
  EXPECT_EQ(*coding::encodeJSON(*decoded), *encoded);
}

TEST(RoundTrip, GeneratedStatesComeBackEqual) {
  Generator gen(20261206);
  coding::JSONDecoder decoder;
  for (int i = 0; i < 3000; ++i) {
    expectRoundTrip(SignState{gen.progress(), gen.text(), gen.optionalText(), gen.text(),
                              gen.text(), gen.optionalText()},
                    decoder);
    expectRoundTrip(DownloadState{gen.progress(), gen.text(), gen.text(), gen.text(), gen.text(),
                                  gen.text(), gen.optionalText()},
                    decoder);
  }
}

TEST(RoundTrip, AttributesComeBackWithTheSameTaskId) {
  coding::JSONDecoder decoder;
  const SignLiveActivityAttributes sign{"task-\u00e9\"1"};
  const auto encoded = coding::encodeJSON(sign);
  ASSERT_TRUE(encoded.ok());
  EXPECT_EQ(*encoded, R"({"taskId":"task-)"
                      "\u00e9"
                      R"(\"1"})");
  const auto decoded = decoder.decode<DownloadLiveActivityAttributes>(*encoded);
  ASSERT_TRUE(decoded.ok());
  EXPECT_EQ(decoded->taskId, sign.taskId);
}

// Each field is spelled in six places (member, key, key name, hashing, encoding, decoding) and only
// their order keeps them in step. Changing any one member's value must show in all of them.
template <class T>
void expectEveryKeyReachesEveryUse(const std::string& sample) {
  coding::JSONDecoder decoder;
  const auto original = decoder.decode<T>(sample);
  ASSERT_TRUE(original.ok()) << sample;
  ASSERT_EQ(*coding::encodeJSON(*original), sample) << "a member is not written back, or moved";
  for (std::string_view key : codingKeyStrings(typename T::CodingKeys{})) {
    const std::string label = "\"" + std::string(key) + "\":";
    const std::size_t at = sample.find(label);
    ASSERT_NE(at, std::string::npos) << key << " is not in the sample";
    std::string changed = sample;
    const std::size_t value = at + label.size();
    changed.insert(changed[value] == '"' ? value + 1 : value, "1");
    const auto decoded = decoder.decode<T>(changed);
    ASSERT_TRUE(decoded.ok()) << changed;
    EXPECT_EQ(*coding::encodeJSON(*decoded), changed) << key << " is not read or not written";
    if constexpr (std::equality_comparable<T>) {
      EXPECT_NE(*decoded, *original) << key << " is left out of equality";
      EXPECT_NE(foundation::hashValue(*decoded), foundation::hashValue(*original))
          << key << " is left out of hashing";
    }
  }
}

TEST(RecordFields, EveryKeyReachesCodingEqualityAndHashing) {
  expectEveryKeyReachesEveryUse<SignLiveActivityAttributes>(R"({"taskId":"t"})");
  expectEveryKeyReachesEveryUse<DownloadLiveActivityAttributes>(R"({"taskId":"t"})");
  expectEveryKeyReachesEveryUse<SignState>(
      R"({"progress":0.5,"statusText":"s","statusCode":"c","appName":"a","detailText":"d",)"
      R"("appIconBase64":"i"})");
  expectEveryKeyReachesEveryUse<DownloadState>(
      R"({"progress":0.5,"statusText":"s","fileName":"f","transferredText":"t","totalText":"o",)"
      R"("etaText":"e","appIconBase64":"i"})");
}

}  // namespace
