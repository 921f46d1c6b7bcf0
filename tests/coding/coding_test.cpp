#include "platform/coding/coding_key.hpp"
#include "platform/coding/json_decoder.hpp"
#include "platform/coding/json_encoder.hpp"
#include "platform/coding/json_writer.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

namespace {

// A small record of the shape the coding facility serves.
struct Sample {
  double number = 0;
  foundation::String text;
  std::optional<foundation::String> note;

  enum class CodingKeys : std::uint8_t { number, text, note };
  friend constexpr std::span<const std::string_view> codingKeyStrings(CodingKeys) { return names; }
  static constexpr std::array<std::string_view, 3> names{"number", "text", "note"};

  void encode(coding::Encoder& encoder) const {
    auto c = encoder.container<CodingKeys>();
    c.encode(CodingKeys::number, number) && c.encode(CodingKeys::text, text) &&
        c.encodeIfPresent(CodingKeys::note, note);
  }
  static coding::Result<Sample, coding::DecodingError> decode(coding::Decoder& decoder) {
    auto c = decoder.container<CodingKeys>();
    coding::Result<Sample, coding::DecodingError> result{Sample{}};
    c.decode(CodingKeys::number, result->number) && c.decode(CodingKeys::text, result->text) &&
        c.decodeIfPresent(CodingKeys::note, result->note);
    std::move(c).finish(result);
    return result;
  }
};

TEST(CodingKey, HasStringValuesOnly) {
  using K = Sample::CodingKeys;
  EXPECT_EQ(coding::stringValue(K::note), "note");
  EXPECT_EQ(coding::intValue(K::number), std::nullopt);
  EXPECT_EQ(coding::keyFromString<K>("text"), K::text);
  EXPECT_EQ(coding::keyFromString<K>("Text"), std::nullopt);
  EXPECT_EQ(coding::keyFromString<K>("text "), std::nullopt);
  for (int i : {0, 1, 2, -1}) EXPECT_EQ(coding::keyFromInt<K>(i), std::nullopt) << i;
  EXPECT_EQ(coding::description(K::text), R"(CodingKeys(stringValue: "text", intValue: nil))");
  EXPECT_EQ(coding::debugDescription(K::text), coding::description(K::text));
}

TEST(JsonWriter, EscapesOnlyWhatJsonRequires) {
  std::string out;
  coding::JsonWriter writer(out);
  writer.string("a\"b\\c\n\t\x01\x1f/\u00e9\u2028");
  EXPECT_EQ(out, "\"a\\\"b\\\\c\\n\\t\\u0001\\u001f/\u00e9\u2028\"");
}

TEST(JsonWriter, WritesShortestRoundTripNumbers) {
  const std::pair<double, std::string> cases[] = {
      {1.0, "1"}, {0.25, "0.25"}, {-0.0, "-0.0"}, {0.1, "0.1"}, {1e21, "1e+21"}, {5e-324, "5e-324"},
  };
  for (const auto& [value, text] : cases) {
    std::string out;
    coding::JsonWriter(out).number(value);
    EXPECT_EQ(out, text);
  }
}

TEST(Encoder, RefusesWhatJsonCannotHoldAndNamesTheKey) {
  const double bad[] = {std::nan(""), std::numeric_limits<double>::infinity(),
                        -std::numeric_limits<double>::infinity()};
  for (double number : bad) {
    const auto result = coding::encodeJSON(Sample{number, "x", std::nullopt});
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().codingPath, coding::CodingPath{"number"});
  }
  const auto result = coding::encodeJSON(Sample{1, "x", foundation::String("\xff")});
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error().description(), R"(invalidValue: "note": the string is not valid UTF-8)");
}

struct DecodeCase {
  const char* json;
  std::string error;     // empty when the decode succeeds
  std::string marked{};  // the text of the error's place
};

TEST(KeyedDecodingContainer, ReportsTheFirstFailureInKeyOrder) {
  const DecodeCase cases[] = {
      {R"({"number":1,"text":"a"})", ""},
      {R"({"text":"a","number":1,"extra":[{}]})", ""},
      {R"({"number":1,"text":"a","note":null})", ""},
      {R"([])", "typeMismatch: expected an object, found an array", "[]"},
      {R"("x")", "typeMismatch: expected an object, found a string", R"("x")"},
      {R"({})", R"(keyNotFound: "number": no value for this key)", "{}"},
      {R"({"number":null,"text":1})", R"(valueNotFound: "number": expected a number, found null)",
       R"("number":null)"},
      {R"({"number":"1"})", R"(typeMismatch: "number": expected a number, found a string)",
       R"("number":"1")"},
      {R"({"number":1,"text":true})", R"(typeMismatch: "text": expected a string, found a boolean)",
       R"("text":true)"},
      {R"({"number":1,"text":"a","note":2})",
       R"(typeMismatch: "note": expected a string, found a number)", R"("note":2)"},
      {R"({"number":1,"text":"a","text":"b"})",
       R"(dataCorrupted: "text": the member appears more than once)", R"("text":"b")"},
      {R"({"number":1,"text":"a","note":null,"note":null})",
       R"(dataCorrupted: "note": the member appears more than once)", R"("note":null)"},
      {R"({"number":1,"text":"a","other":1,"other":2})", ""},
      {R"({"Number":1,"text":"a"})", R"(keyNotFound: "number": no value for this key)",
       R"({"Number":1,"text":"a"})"},
  };
  coding::JSONDecoder decoder;
  for (const auto& c : cases) {
    const auto result = decoder.decode<Sample>(c.json);
    if (c.error.empty()) {
      EXPECT_TRUE(result.ok()) << c.json << ": " << result.error().description();
    } else {
      ASSERT_FALSE(result.ok()) << c.json;
      EXPECT_EQ(result.error().description(), c.error) << c.json;
      const auto& place = result.error().place;
      ASSERT_TRUE(place.has_value()) << c.json;
      EXPECT_EQ(std::string_view(c.json).substr(place->start, place->end - place->start), c.marked)
          << c.json;
    }
  }
}

}  // namespace
