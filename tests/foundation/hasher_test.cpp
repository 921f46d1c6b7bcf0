#include "platform/foundation/hasher.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

std::uint64_t sip24(std::size_t length) {
  std::vector<std::uint8_t> message(length);
  for (std::size_t i = 0; i < length; ++i) message[i] = static_cast<std::uint8_t>(i);
  foundation::SipHash<2, 4> hash(0x0706050403020100ULL, 0x0f0e0d0c0b0a0908ULL);
  hash.write(message.data(), message.size());
  return hash.finish();
}

// The rounds are shared by every variant; the reference vectors exist for SipHash-2-4.
TEST(SipHash, MatchesTheReferenceVectors) {
  EXPECT_EQ(sip24(0), 0x726fdb47dd0e0e31ULL);
  EXPECT_EQ(sip24(1), 0x74f839c593dc67fdULL);
  EXPECT_EQ(sip24(15), 0xa129ca6149be45e5ULL);
}

TEST(SipHash, GivesTheSameResultHoweverTheInputIsSplit) {
  std::vector<std::uint8_t> message(37);
  for (std::size_t i = 0; i < message.size(); ++i) message[i] = static_cast<std::uint8_t>(i * 7);
  foundation::SipHash<1, 3> whole(1, 2);
  whole.write(message.data(), message.size());
  for (std::size_t split : {0, 1, 7, 8, 9, 20, 37}) {
    foundation::SipHash<1, 3> pieces(1, 2);
    pieces.write(message.data(), split);
    pieces.write(message.data() + split, message.size() - split);
    EXPECT_EQ(pieces.finish(), whole.finish()) << split;
  }
}

std::size_t hashStrings(std::initializer_list<std::string_view> strings) {
  foundation::Hasher hasher(42);
  for (auto s : strings) hasher.combine(s);
  return hasher.finalize();
}

TEST(Hasher, FeedsCanonicalFormsLengthsAndOneZeroUnderItsSeed) {
  EXPECT_EQ(hashStrings({"\u00e9"}), hashStrings({"e\u0301"}));
  EXPECT_NE(hashStrings({"ab", "c"}), hashStrings({"a", "bc"}));
  EXPECT_NE(hashStrings({"", "x"}), hashStrings({"x", ""}));
  EXPECT_EQ(hashStrings({"same"}), hashStrings({"same"}));

  foundation::Hasher zero(1), negativeZero(1), otherSeed(2);
  foundation::hashInto(zero, 0.0);
  foundation::hashInto(negativeZero, -0.0);
  foundation::hashInto(otherSeed, 0.0);
  const std::size_t hash = zero.finalize();
  EXPECT_EQ(negativeZero.finalize(), hash);
  EXPECT_NE(otherSeed.finalize(), hash);
}

}  // namespace
