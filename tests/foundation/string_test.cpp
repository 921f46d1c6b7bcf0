#include "platform/foundation/string.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

using foundation::canonicallyEqual;
using foundation::contains;
using foundation::lowercased;

struct EqualityCase {
  std::string a;
  std::string b;
  bool equal;
};

TEST(CanonicalEquality, FollowsUnicodeEquivalence) {
  const EqualityCase cases[] = {
      {"abc", "abc", true},
      {"abc", "abd", false},
      {"abc", "ABC", false},  // case-sensitive
      {"", "", true},
      {"\u00e9", "e\u0301", true},           // precomposed against combining acute
      {"e\u0301", "\u00e9", true},
      {"\u212a", "K", true},                 // KELVIN SIGN is a singleton for K
      {"\u037e", ";", true},                 // GREEK QUESTION MARK
      {"a\u0323\u0307", "a\u0307\u0323", true},  // combining marks reorder canonically
      {"\u00e9", "e", false},
      {"\ufb01", "fi", false},               // compatibility, not canonical
      {"\xff", "\xff", true},                // ill-formed, but the same bytes
      {"\xff", "\xfe", false},
      {"e\xcc", "e", false},                 // truncated sequence
  };
  for (const auto& c : cases) {
    EXPECT_EQ(canonicallyEqual(c.a, c.b), c.equal) << '"' << c.a << "\" vs \"" << c.b << '"';
    EXPECT_EQ(foundation::String(c.a) == foundation::String(c.b), c.equal);
  }
}

TEST(Lowercase, IsTheFullRootMapping) {
  const std::pair<std::string, std::string> cases[] = {
      {"SUCCESS", "success"},
      {"Download FAILED", "download failed"},
      {"\u0130", "i\u0307"},                       // capital I with dot above: full mapping
      {"I", "i"},                                  // no Turkish dotless i from any locale
      {"\u039f\u0394\u039f\u03a3", "\u03bf\u03b4\u03bf\u03c2"},  // final sigma
      {"\u00c9CHEC", "\u00e9chec"},
      {"", ""},
      {"123 \u2013 ok", "123 \u2013 ok"},
  };
  for (const auto& [input, expected] : cases) EXPECT_EQ(lowercased(input), expected) << input;
}

struct SearchCase {
  std::string text;
  std::string needle;
  bool found;
};

TEST(Contains, MatchesOnlyWholeCharacters) {
  const SearchCase cases[] = {
      {"signing done", "done", true},
      {"done\u0301", "done", false},  // the e carries an accent: not the letter e
      {"undone!", "done", true},
      {"e\u0301", "e", false},
      {"caf\u00e9", "cafe\u0301", true},  // searched in composed form
      {"cafe\u0301", "caf\u00e9", true},
      {"\r\n", "\n", false},  // CR LF is one character
      {"a\nb", "\n", true},
      {"\U0001F1EB\U0001F1F7", "\U0001F1F7", false},  // half of a flag
      {"error-free", "error", true},
      {"", "done", false},
      {"abc", "", true},
      {"succeeded", "success", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(contains(c.text, c.needle), c.found) << '"' << c.text << "\" / \"" << c.needle << '"';
  }
}

TEST(Utf8Validation, RejectsIllFormedSequences) {
  const std::pair<std::string, bool> cases[] = {
      {"plain", true},       {"\u00e9\u20ac\U0001F600", true}, {"\xc0\xaf", false},
      {"\xed\xa0\x80", false}, {"\xf4\x90\x80\x80", false},      {"\xe2\x82", false},
      {std::string("a\0b", 3), true},
  };
  for (const auto& [text, valid] : cases) EXPECT_EQ(foundation::isValidUtf8(text), valid);
}

}  // namespace

// Texts up to the inline capacity live in the value, longer ones on the heap: copies, moves and
// assignments across that boundary (and onto themselves) must keep every byte, and leave a
// moved-from value empty and usable.
TEST(StringValue, KeepsItsBytesAcrossCopiesAndMoves) {
  constexpr std::size_t limit = foundation::String::inlineCapacity;
  const std::string texts[] = {
      "",
      "a",
      std::string(limit - 1, 'b'),
      std::string(limit, 'c'),
      std::string(limit + 1, 'd'),
      std::string(3000, 'e'),
      std::string("nul\0inside", 10),
  };
  for (const auto& a : texts) {
    for (const auto& b : texts) {
      SCOPED_TRACE(std::to_string(a.size()) + " then " + std::to_string(b.size()));
      foundation::String value(a);
      EXPECT_EQ(value.view(), a);

      foundation::String copy(value);
      copy = foundation::String(b);
      EXPECT_EQ(copy.view(), b);
      EXPECT_EQ(value.view(), a);

      foundation::String moved(std::move(value));
      EXPECT_EQ(moved.view(), a);
      EXPECT_TRUE(value.empty());  // NOLINT(bugprone-use-after-move): left empty on purpose
      value = copy;
      EXPECT_EQ(value.view(), b);

      moved = std::move(copy);
      EXPECT_EQ(moved.view(), b);
      EXPECT_TRUE(copy.empty());  // NOLINT(bugprone-use-after-move)

      auto& self = moved;
      moved = self;
      moved = std::move(self);
      EXPECT_EQ(moved.view(), b);
      // A view into the value itself, as a caller may hand back part of what it read.
      moved.assign(moved.view().substr(moved.size() / 2));
      EXPECT_EQ(moved.view(), b.substr(b.size() / 2));
    }
  }
}
