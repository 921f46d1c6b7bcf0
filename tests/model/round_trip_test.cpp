// Generated records survive encoding and decoding unchanged.
#include "platform/coding/json_decoder.hpp"
#include "platform/coding/json_encoder.hpp"
#include "tolvex/model/download_live_activity_attributes.hpp"
#include "tolvex/model/sign_live_activity_attributes.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
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
    static const char* pieces[] = {"a",      "Z",  " ",  "\"",     "\\",      "\n",   "\x01",
                                   "\u00e9", "e\u0301", "\u20ac", "\U0001F600", "/", "\x7f", "%@",
                                   "\u2028", "\t"};
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
  EXPECT_EQ(*encoded, R"({"taskId":"task-)" "\u00e9" R"(\"1"})");
  const auto decoded = decoder.decode<DownloadLiveActivityAttributes>(*encoded);
  ASSERT_TRUE(decoded.ok());
  EXPECT_EQ(decoded->taskId, sign.taskId);
}

}  // namespace
