#include "platform/foundation/base64.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using foundation::base64Decode;
using foundation::base64Encode;
using namespace std::literals;

std::vector<std::uint8_t> bytesOf(std::string_view text) {
  return {text.begin(), text.end()};
}

// RFC 4648, section 10.
TEST(Base64, MatchesTheRfcVectorsBothWays) {
  const std::pair<std::string_view, std::string_view> vectors[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
  };
  for (const auto& [plain, encoded] : vectors) {
    EXPECT_EQ(base64Encode(bytesOf(plain)), encoded) << plain;
    const auto decoded = base64Decode(encoded);
    ASSERT_TRUE(decoded.has_value()) << encoded;
    EXPECT_EQ(*decoded, bytesOf(plain)) << encoded;
  }
}

TEST(Base64, RoundTripsEveryByteAndEveryRemainder) {
  std::vector<std::uint8_t> all(256);
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<std::uint8_t>(255 - i);
  for (std::size_t length : {0, 1, 2, 3, 4, 5, 254, 255, 256}) {
    const std::vector<std::uint8_t> bytes(all.begin(), all.begin() + static_cast<long>(length));
    const std::string text = base64Encode(bytes);
    EXPECT_EQ(text.size() % 4, 0u) << length;
    EXPECT_EQ(base64Decode(text), bytes) << length;
  }
  // '+' and '/' are the last two digits of the standard alphabet.
  EXPECT_EQ(base64Encode(std::vector<std::uint8_t>{0xfb, 0xff}), "+/8=");
}

TEST(Base64, RejectsAnythingOutsideThePaddedStandardForm) {
  const std::string_view rejected[] = {
      "Zm9v YmFy",       // a space between quanta
      " Zm9vYmFy",       // leading space
      "Zm9vYmFy ",       // trailing space (and the length is no longer a multiple of 4)
      "Zm9v\nYmFy",      // a line break, as MIME would insert
      "Zm9vYmFy\r\n",    // a trailing line break
      "Zm9\tv",          // a tab
      "Zg",              // missing padding
      "Zm8",             // missing padding
      "Zm9vY",           // length not a multiple of four
      "Zg=",             // incomplete padding
      "Z===",            // three padding characters
      "====",            // nothing but padding
      "Zg==Zg==",        // padding in the middle of the text
      "Zm=v",            // '=' inside a quantum
      "=Zm9",            // '=' first
      "Zm9v-_8=",        // URL-safe alphabet
      "-w==",            // URL-safe '-'
      "_w==",            // URL-safe '_'
      "Zm9v\0Zm9"sv,     // an embedded NUL
      "Zm9v\xc3\xa9YQ",  // non-ASCII
  };
  for (std::string_view text : rejected) {
    EXPECT_EQ(base64Decode(text), std::nullopt) << '"' << text << '"';
  }
}

TEST(Base64, AcceptsNonZeroBitsAfterTheLastByte) {
  // "Zh==" carries the same 8 bits as "Zg==" plus four set filler bits.
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"Zh==", "f"}, {"Z/==", "g"}, {"Zm9=", "fo"}, {"Zm/=", "fo"}};
  for (const auto& [text, plain] : cases) {
    EXPECT_EQ(base64Decode(text), bytesOf(plain)) << text;
  }
}

}  // namespace
