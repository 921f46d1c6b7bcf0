#include "platform/coding/json_document.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using coding::DecodingError;
using coding::JsonDocument;
using coding::JsonValue;

struct BadDocument {
  const char* name;
  std::string text;
  std::string expected;  // a part of the error's description
};

std::string nested(std::size_t depth) {
  return std::string(depth, '[') + std::string(depth, ']');
}

TEST(JsonDocument, RejectsEveryMalformedDocumentCleanly) {
  const BadDocument cases[] = {
      {"empty", "", "the document is empty"},
      {"whitespace only", " \n ", "the document is empty"},
      {"second document", R"({"a":1} {"b":2})", "line 1, column 9: unexpected content after"},
      {"NUL then text", std::string("{\"a\":1}\0garbage", 15), "column 8: unexpected content"},
      {"NUL inside", std::string("{\"a\":\0}", 7), "column 6: unexpected character"},
      {"trailing comma", R"({"a":1,})", "expected a member name"},
      {"comment", "{\"a\":1 /* no */}", "expected ',' or '}'"},
      {"single quotes", "{'a':1}", "expected a member name"},
      {"lone high surrogate", R"({"a":"\ud800"})", "lone high surrogate"},
      {"lone low surrogate", R"({"a":"\udc00x"})", "lone low surrogate"},
      {"reversed pair", R"({"a":"\udc00\ud800"})", "lone low surrogate"},
      {"invalid UTF-8", "{\"a\":\"\xff\"}", "invalid UTF-8"},
      {"overlong UTF-8", "{\"a\":\"\xc0\xaf\"}", "invalid UTF-8"},
      {"UTF-8 surrogate", "{\"a\":\"\xed\xa0\x80\"}", "invalid UTF-8"},
      {"raw control", "{\"a\":\"\x01\"}", "unescaped control character"},
      {"bad escape", R"({"a":"\x"})", "invalid escape"},
      {"leading zero", R"({"a":01})", "expected ',' or '}'"},
      {"bare minus", R"({"a":-})", "invalid number"},
      {"NaN", R"({"a":NaN})", "unexpected character"},
      {"unterminated", R"({"a":"abc)", "unterminated string"},
      {"unclosed", R"({"a":[1,2)", "unexpected end"},
      {"second line", "{\n  \"a\": tru\n}", "line 2, column 8"},
      {"too deep", nested(513), "nesting deeper than 512 levels"},
      {"far too deep", nested(100000), "nesting deeper than 512 levels"},
      // Faults in values that no reader asks for are found all the same.
      {"unread element", R"({"a":1,"unread":[1,}})", "column 20: unexpected character"},
      {"unread literal", R"({"unread":{"x":tru},"a":1})", "column 16: unexpected character"},
      {"unread null", R"({"unread":[nul],"a":1})", "column 12: unexpected character"},
      {"literal run on", R"({"unread":[nullx],"a":1})", "column 16: expected ',' or ']'"},
      {"literals unseparated", R"({"unread":[true false],"a":1})", "column 17: expected ','"},
      {"unread escape", R"({"unread":["\q"],"a":1})", "column 13: invalid escape"},
      {"unread surrogate", R"({"unread":["\ud800"],"a":1})", "column 13: lone high surrogate"},
      {"unread leading zero", R"({"unread":[01],"a":1})", "column 13: expected ',' or ']'"},
      {"unread fraction", R"({"unread":[1.],"a":1})", "column 12: invalid number"},
      {"array closed by brace", R"({"unread":[1}],"a":1})", "column 13: expected ',' or ']'"},
      {"object closed by bracket", R"({"unread":{"x":1]},"a":1})",
       "column 17: expected ',' or '}'"},
      {"unread colon", R"({"unread":{"x" 1},"a":1})", "column 16: expected ':'"},
      {"content after", R"({"a":1}x)", "column 8: unexpected content after"},
      {"one brace too many", R"({"a":1}})", "column 8: unexpected content after"},
  };
  JsonDocument document;
  for (const auto& c : cases) {
    const auto error = document.read(c.text);
    ASSERT_TRUE(error.has_value()) << c.name;
    EXPECT_EQ(error->kind, DecodingError::Kind::dataCorrupted) << c.name;
    EXPECT_NE(error->description().find(c.expected), std::string::npos)
        << c.name << ": " << error->description();
  }
}

// Read where it lies, a text is followed by bytes that are not its own; they never complete it.
TEST(JsonDocument, ReadsATextInPlaceWithoutLookingPastItsEnd) {
  const std::pair<std::string, std::string> cases[] = {
      {R"({"a":{"b":1})", "}"}, {R"({"a":[1,2])", "]}"}, {R"({"a":"b")", "}"},
      {R"({"a":1)", "}"},       {R"([1,2)", "]"},
  };
  JsonDocument document;
  for (const auto& [text, after] : cases) {
    std::string buffer = text + after;
    buffer.resize(buffer.size() + JsonDocument::readAhead, ' ');
    const auto error =
        document.read(std::string_view(buffer.data(), text.size()), buffer.size() - text.size());
    ASSERT_TRUE(error.has_value()) << text;
    EXPECT_NE(error->description().find("unexpected end of the document"), std::string::npos)
        << text << ": " << error->description();
  }
}

// Each object's members are found under its own node, whatever is nested before or after it.
TEST(JsonDocument, KeepsTheMembersOfNestedObjectsApart) {
  JsonDocument document;
  const std::string text =
      R"({"x" : {"a":1,"in":{"a":2}} , "list":[{"a":3}],"y":{"a":"four" },"a": "five" })";
  ASSERT_FALSE(document.read(text).has_value());
  const std::string_view names[] = {"a", "x", "y", "in"};
  JsonValue root[4];
  document.lookUp(document.root().node, names, root);
  EXPECT_EQ(root[0].text, "five");  // no whitespace of the text after it
  JsonValue x[4];
  document.lookUp(root[1].node, names, x);
  EXPECT_EQ(x[0].number, 1);
  JsonValue in[4];
  document.lookUp(x[3].node, names, in);
  EXPECT_EQ(in[0].number, 2);
  JsonValue y[4];
  document.lookUp(root[2].node, names, y);
  EXPECT_EQ(y[0].text, "four");
  std::vector<std::string> order;
  document.forEachMember(document.root().node, [&](std::string_view name, const JsonValue&) {
    order.emplace_back(name);
  });
  EXPECT_EQ(order, (std::vector<std::string>{"x", "list", "y", "a"}));
}

// Strings before the text's first backslash are read without looking for escapes; every string
// from there on still is unescaped, name or value, wherever the escape falls.
TEST(JsonDocument, UnescapesEveryStringFromTheFirstBackslashOn) {
  struct Case {
    std::string text;
    std::vector<std::string> values;  // of "a", "b", "c", in that order
  };
  const Case cases[] = {
      {R"({"a":"x","b":"y","c":"z"})", {"x", "y", "z"}},
      {R"({"a":"x\"","b":"y","c":"z"})", {"x\"", "y", "z"}},
      {R"({"a":"x","b":"y","c":"z\\"})", {"x", "y", "z\\"}},
      {R"({"a":"x","\u0062":"y\u00e9","c":"\/z"})", {"x", "y\u00e9", "/z"}},
      {R"({"a":"x","c":"z","list":["\n"],"b":"y"})", {"x", "y", "z"}},
      {R"({"\\":"w","a":"x","b":"y","c":"z"})", {"x", "y", "z"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    JsonDocument document;
    ASSERT_FALSE(document.read(c.text).has_value());
    const std::string_view names[] = {"a", "b", "c"};
    JsonValue values[3];
    document.lookUp(document.root().node, names, values);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(values[i].text, c.values[i]);
  }
}

TEST(JsonDocument, ReadsDeepDocumentsUpToTheLimit) {
  // Deeper than the fast reader goes, within the limit of the full one.
  const std::size_t depth = 400;
  std::string text;
  for (std::size_t i = 0; i < depth; ++i) text += R"({"a":)";
  text += R"("deepest")";
  text += std::string(depth, '}');
  JsonDocument document;
  ASSERT_FALSE(document.read(text).has_value());
  JsonValue value = document.root();
  const std::string_view name = "a";
  for (std::size_t i = 0; i < depth; ++i) {
    JsonValue member;
    document.lookUp(value.node, std::span(&name, 1), std::span(&member, 1));
    value = member;
  }
  EXPECT_EQ(value.text, "deepest");
}

TEST(JsonDocument, AcceptsTheDeepestNestingAllowed) {
  JsonDocument document;
  EXPECT_FALSE(document.read(nested(512)).has_value());
  EXPECT_EQ(document.root().type, JsonValue::Type::array);
}

double readNumber(JsonDocument& document, const std::string& number) {
  const std::string text = R"({"n":)" + number + "}";
  if (auto error = document.read(text)) {
    ADD_FAILURE() << number << ": " << error->description();
    return 0;
  }
  JsonValue value;
  const std::string_view name = "n";
  document.lookUp(document.root().node, std::span(&name, 1), std::span(&value, 1));
  return value.number;
}

TEST(JsonDocument, ReadsEveryNumberAsTheNearestDouble) {
  JsonDocument document;
  const std::pair<std::string, double> cases[] = {
      {"1", 1.0},
      {"-0.0", -0.0},
      {"-0", 0.0},
      {"-0e0", -0.0},
      {"-1e-400", -0.0},
      {"0.1", 0.1},
      {"18446744073709551615", 18446744073709551615.0},
      {"18446744073709551616", 18446744073709551616.0},
      {"-9223372036854775809", -9223372036854775809.0},
      {"123456789012345678901234567890", 123456789012345678901234567890.0},
      {"1e-400", 0.0},
      {"1.7976931348623157e308", 1.7976931348623157e308},
  };
  for (const auto& [text, expected] : cases) {
    const double value = readNumber(document, text);
    EXPECT_EQ(value, expected) << text;
    EXPECT_EQ(std::signbit(value), std::signbit(expected)) << text;
  }
}

TEST(JsonDocument, NamesTheMemberOfANumberOutOfRange) {
  JsonDocument document;
  const std::pair<std::string, coding::CodingPath> cases[] = {
      {R"({"progress":1e400})", {"progress"}},
      {R"({"x":{"y":[0,-2e308]}})", {"x", "y", "1"}},
      {"{\"wide\":1" + std::string(400, '0') + "}", {"wide"}},
  };
  for (const auto& [text, path] : cases) {
    const auto error = document.read(text);
    ASSERT_TRUE(error.has_value()) << text;
    EXPECT_EQ(error->kind, DecodingError::Kind::dataCorrupted);
    EXPECT_EQ(error->codingPath, path) << error->description();
  }
  // A syntax fault outranks a number out of range, wherever each is.
  const auto error = document.read(R"({"a":1e400,"b":})");
  ASSERT_TRUE(error.has_value());
  EXPECT_TRUE(error->codingPath.empty()) << error->description();
}

TEST(JsonDocument, FindsMembersByUnescapedNameAndMarksDuplicates) {
  JsonDocument document;
  ASSERT_FALSE(document.read(R"({"t\u0061skId":"a","x":1,"x":2,"\u212a":3})").has_value());
  const std::string_view names[] = {"taskId", "x", "K", "absent"};
  JsonValue values[4];
  document.lookUp(document.root().node, names, values);
  EXPECT_EQ(values[0].type, JsonValue::Type::string);
  EXPECT_EQ(values[0].text, "a");
  EXPECT_TRUE(values[1].duplicated);
  EXPECT_EQ(values[2].type, JsonValue::Type::number);  // KELVIN SIGN is canonically K
  EXPECT_EQ(values[3].type, JsonValue::Type::missing);
}

TEST(JsonDocument, ReadsDocumentsOfTensOfMegabytes) {
  std::string text = R"({"taskId":"t","padding":[)";
  const std::string element = R"("0123456789abcdef0123456789abcdef",)";
  while (text.size() < (std::size_t{24} << 20)) text += element;
  text += "1]}";
  JsonDocument document;
  ASSERT_FALSE(document.read(text).has_value());
  text.back() = ']';  // now malformed at the very end
  const auto error = document.read(text);
  ASSERT_TRUE(error.has_value());
  EXPECT_NE(error->description().find("expected ',' or '}'"), std::string::npos);
}

TEST(JsonDocument, RefusesADocumentAboveTheCeiling) {
  JsonDocument document;
  const std::string text(JsonDocument::maxBytes + 1, ' ');
  const auto error = document.read(text);
  ASSERT_TRUE(error.has_value());
  EXPECT_NE(error->detail.find("more than"), std::string::npos);
}

}  // namespace
