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
  std::string marked;    // the text of the token at fault
};

std::string nested(std::size_t depth) {
  return std::string(depth, '[') + std::string(depth, ']');
}

TEST(JsonDocument, RejectsEveryMalformedDocumentCleanly) {
  const BadDocument cases[] = {
      {"empty", "", "the document is empty", ""},
      {"whitespace only", " \n ", "the document is empty", ""},
      {"second document", R"({"a":1} {"b":2})", "line 1, column 9: unexpected content after", "{"},
      {"NUL then text", std::string("{\"a\":1}\0garbage", 15), "column 8: unexpected content",
       std::string("\0garbage", 8)},
      {"NUL inside", std::string("{\"a\":\0}", 7), "column 6: unexpected character",
       std::string(1, '\0')},
      {"trailing comma", R"({"a":1,})", "expected a member name", "}"},
      {"comment", "{\"a\":1 /* no */}", "expected ',' or '}'", "/*"},
      {"single quotes", "{'a':1}", "expected a member name", "'a'"},
      {"lone high surrogate", R"({"a":"\ud800"})", "lone high surrogate", R"(\ud800)"},
      {"lone low surrogate", R"({"a":"\udc00x"})", "lone low surrogate", R"(\udc00)"},
      {"reversed pair", R"({"a":"\udc00\ud800"})", "lone low surrogate", R"(\udc00)"},
      {"invalid UTF-8", "{\"a\":\"\xff\"}", "invalid UTF-8", "\xff"},
      {"overlong UTF-8", "{\"a\":\"\xc0\xaf\"}", "invalid UTF-8", "\xc0"},
      {"UTF-8 surrogate", "{\"a\":\"\xed\xa0\x80\"}", "invalid UTF-8", "\xed"},
      {"raw control", "{\"a\":\"\x01\"}", "unescaped control character", "\x01"},
      {"bad escape", R"({"a":"\x"})", "invalid escape", R"(\x)"},
      {"leading zero", R"({"a":01})", "expected ',' or '}'", "1"},
      {"bare minus", R"({"a":-})", "invalid number", "-"},
      {"NaN", R"({"a":NaN})", "unexpected character", "NaN"},
      {"unterminated", R"({"a":"abc)", "unterminated string", R"("abc)"},
      {"unclosed", R"({"a":[1,2)", "unexpected end", ""},
      {"second line", "{\n  \"a\": tru\n}", "line 2, column 8", "tru"},
      {"too deep", nested(513), "nesting deeper than 512 levels", "["},
      {"far too deep", nested(100000), "nesting deeper than 512 levels", "["},
      // Faults in values that no reader asks for are found all the same.
      {"unread element", R"({"a":1,"unread":[1,}})", "column 20: unexpected character", "}"},
      {"unread literal", R"({"unread":{"x":tru},"a":1})", "column 16: unexpected character", "tru"},
      {"unread null", R"({"unread":[nul],"a":1})", "column 12: unexpected character", "nul"},
      {"literal run on", R"({"unread":[nullx],"a":1})", "column 16: expected ',' or ']'", "x"},
      {"literals unseparated", R"({"unread":[true false],"a":1})", "column 17: expected ','",
       "false"},
      {"unread escape", R"({"unread":["\q"],"a":1})", "column 13: invalid escape", R"(\q)"},
      {"unread surrogate", R"({"unread":["\ud800"],"a":1})", "column 13: lone high surrogate",
       R"(\ud800)"},
      {"unread leading zero", R"({"unread":[01],"a":1})", "column 13: expected ',' or ']'", "1"},
      {"unread fraction", R"({"unread":[1.],"a":1})", "column 12: invalid number", "1."},
      {"array closed by brace", R"({"unread":[1}],"a":1})", "column 13: expected ',' or ']'", "}"},
      {"object closed by bracket", R"({"unread":{"x":1]},"a":1})", "column 17: expected ',' or '}'",
       "]"},
      {"unread colon", R"({"unread":{"x" 1},"a":1})", "column 16: expected ':'", "1"},
      {"content after", R"({"a":1}x)", "column 8: unexpected content after", "x"},
      {"one brace too many", R"({"a":1}})", "column 8: unexpected content after", "}"},
  };
  JsonDocument document;
  for (const auto& c : cases) {
    const auto error = document.read(c.text);
    ASSERT_TRUE(error.has_value()) << c.name;
    EXPECT_EQ(error->kind, DecodingError::Kind::dataCorrupted) << c.name;
    EXPECT_NE(error->description().find(c.expected), std::string::npos)
        << c.name << ": " << error->description();
    ASSERT_TRUE(error->place.has_value()) << c.name;
    EXPECT_EQ(c.text.substr(error->place->start, error->place->end - error->place->start), c.marked)
        << c.name;
    EXPECT_NE(error->description().find("column " + std::to_string(error->place->column) + ":"),
              std::string::npos)
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

// Containers count, whatever the innermost holds.
TEST(JsonDocument, AcceptsTheDeepestNestingAllowed) {
  std::string objects;
  for (int i = 0; i < 512; ++i) objects += R"({"a":)";
  objects += "1" + std::string(512, '}');
  const std::string texts[] = {
      nested(512),
      std::string(512, '[') + "1" + std::string(512, ']'),
      std::string(512, '[') + "18446744073709551616" + std::string(512, ']'),
      objects,
  };
  JsonDocument document;
  for (const auto& text : texts) {
    const auto error = document.read(text);
    EXPECT_FALSE(error.has_value()) << text.substr(508, 30) << ": " << error->description();
  }
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
      // More digits after "0." than 64 bits hold.
      {"0.33333333333333333333", 0.33333333333333333333},
      {"-0.888888888888888888888888888888888885", -0.888888888888888888888888888888888885},
      {"0.00000000000000000001", 1e-20},
      {"0.1234567890123456789", 0.1234567890123456789},
      {"1e-40078901234567890249135780", 0.0},
  };
  for (const auto& [text, expected] : cases) {
    const double value = readNumber(document, text);
    EXPECT_EQ(value, expected) << text;
    EXPECT_EQ(std::signbit(value), std::signbit(expected)) << text;
  }
}

TEST(JsonDocument, NamesTheMemberOfANumberOutOfRange) {
  JsonDocument document;
  struct Case {
    std::string text;
    coding::CodingPath path;
    std::string marked;
  };
  const Case cases[] = {
      {R"({"progress":1e400})", {"progress"}, "1e400"},
      {R"({"x":{"y":[0,-2e308]}})", {"x", "y", "1"}, "-2e308"},
      {"{\"wide\":1" + std::string(400, '0') + "}", {"wide"}, "1" + std::string(400, '0')},
  };
  for (const auto& c : cases) {
    const auto error = document.read(c.text);
    ASSERT_TRUE(error.has_value()) << c.text;
    EXPECT_EQ(error->kind, DecodingError::Kind::dataCorrupted);
    EXPECT_EQ(error->codingPath, c.path) << error->description();
    ASSERT_TRUE(error->place.has_value());
    EXPECT_EQ(c.text.substr(error->place->start, error->place->end - error->place->start),
              c.marked);
  }
  // A syntax fault outranks a number out of range, wherever each is.
  const auto error = document.read(R"({"a":1e400,"b":})");
  ASSERT_TRUE(error.has_value());
  EXPECT_TRUE(error->codingPath.empty()) << error->description();
}

// A failure that names a member is shown at the member, found again in the text it came from.
TEST(PlaceOfMember, SpansTheMemberTheReaderFaults) {
  struct Case {
    const char* name;
    std::string text;
    coding::CodingPath path;
    std::string marked;
    std::size_t line;
    std::size_t column;
  };
  const std::string lines = "{\n  \"a\": 1,\n  \"b\": {\"c\": [2, {}]}\n}";
  const Case cases[] = {
      {"scalar", R"({"a":1,"b":"x"})", {"b"}, R"("b":"x")", 1, 8},
      {"object", lines, {"b"}, R"("b": {"c": [2, {}]})", 3, 3},
      {"nested array", lines, {"b", "c"}, R"("c": [2, {}])", 3, 9},
      {"same name deeper first", R"({"x":{"a":1},"a":2})", {"a"}, R"("a":2)", 1, 14},
      {"escaped name", R"({"t\u0061skId" : "x" })", {"taskId"}, R"("t\u0061skId" : "x")", 1, 2},
      {"canonically equal name", R"({"\u212a":3})", {"K"}, R"("\u212a":3)", 1, 2},
      {"the repeat of a name", R"({"a":1,"a":[2]})", {"a"}, R"("a":[2])", 1, 8},
      {"a key not found: its object", lines, {"b", "d"}, R"("b": {"c": [2, {}]})", 3, 3},
      {"a key not found at the root", " [1] ", {"a"}, "[1]", 1, 2},
      {"the document", R"("text")", {}, R"("text")", 1, 1},
  };
  for (const auto& c : cases) {
    const auto place = coding::placeOfMember(c.text, c.path);
    ASSERT_TRUE(place.has_value()) << c.name;
    EXPECT_EQ(c.text.substr(place->start, place->end - place->start), c.marked) << c.name;
    EXPECT_EQ(place->line, c.line) << c.name;
    EXPECT_EQ(place->column, c.column) << c.name;
  }
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
