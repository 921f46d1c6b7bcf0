#include "platform/coding/json_syntax.hpp"

#include "platform/foundation/string.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace coding::detail {
namespace {

bool isWhitespace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isStructural(char c) {
  return c == '{' || c == '}' || c == '[' || c == ']' || c == ',' || c == ':';
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Length of the well-formed UTF-8 sequence at the start of s, or 0 (RFC 3629 table).
std::size_t utf8SequenceLength(std::string_view s) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char b0 = byte(0);
  auto continuation = [&](std::size_t i, unsigned char low = 0x80, unsigned char high = 0xbf) {
    return i < s.size() && byte(i) >= low && byte(i) <= high;
  };
  if (b0 >= 0xc2 && b0 <= 0xdf) return continuation(1) ? 2 : 0;
  if (b0 == 0xe0) return continuation(1, 0xa0) && continuation(2) ? 3 : 0;
  if ((b0 >= 0xe1 && b0 <= 0xec) || b0 == 0xee || b0 == 0xef) {
    return continuation(1) && continuation(2) ? 3 : 0;
  }
  if (b0 == 0xed) return continuation(1, 0x80, 0x9f) && continuation(2) ? 3 : 0;
  if (b0 == 0xf0) return continuation(1, 0x90) && continuation(2) && continuation(3) ? 4 : 0;
  if (b0 >= 0xf1 && b0 <= 0xf3) {
    return continuation(1) && continuation(2) && continuation(3) ? 4 : 0;
  }
  if (b0 == 0xf4) return continuation(1, 0x80, 0x8f) && continuation(2) && continuation(3) ? 4 : 0;
  return 0;
}

class Scanner {
 public:
  // With a `target`, the scan also looks for the member that path names (see findMember).
  Scanner(std::string_view text, std::size_t maxDepth, const CodingPath* target = nullptr)
      : text_(text), maxDepth_(maxDepth), target_(target) {}

  enum class Expect { value, firstMemberOrEnd, member, colon, commaOrEnd, firstElementOrEnd, end };

  JsonScan run() {
    Expect expect = Expect::value;
    skipWhitespace();
    if (pos_ == text_.size()) return fail("the document is empty");
    if (target_ && target_->empty()) matchStart_ = pos_;
    while (true) {
      skipWhitespace();
      if (pos_ == text_.size()) {
        if (expect == Expect::end) return std::move(result_);
        return fail("unexpected end of the document");
      }
      const char c = text_[pos_];
      switch (expect) {
        case Expect::end:
          return fail("unexpected content after the document");
        case Expect::firstMemberOrEnd:
          if (c == '}') {
            close();
            expect = afterValue();
            if (matchedTwice()) return std::move(result_);
            continue;
          }
          [[fallthrough]];
        case Expect::member: {
          if (c != '"') return fail("expected a member name in double quotes");
          const std::size_t nameStart = pos_;
          std::string name;
          if (!scanString(&name)) return std::move(result_);
          path_.back() = std::move(name);
          if (target_ && isTarget()) matchStart_ = nameStart;
          expect = Expect::colon;
          continue;
        }
        case Expect::colon:
          if (c != ':') return fail("expected ':' after a member name");
          ++pos_;
          expect = Expect::value;
          continue;
        case Expect::commaOrEnd:
          if (c == ',') {
            ++pos_;
            if (containers_.back() == '[') {
              path_.back() = std::to_string(++indices_.back());
              expect = Expect::value;
            } else {
              expect = Expect::member;
            }
            continue;
          }
          if (c == (containers_.back() == '{' ? '}' : ']')) {
            close();
            expect = afterValue();
            if (matchedTwice()) return std::move(result_);
            continue;
          }
          return fail(containers_.back() == '{' ? "expected ',' or '}' after a member"
                                                : "expected ',' or ']' after an element");
        case Expect::firstElementOrEnd:
          if (c == ']') {
            close();
            expect = afterValue();
            if (matchedTwice()) return std::move(result_);
            continue;
          }
          [[fallthrough]];
        case Expect::value:
          if (c == '{' || c == '[') {
            if (containers_.size() >= maxDepth_) {
              return fail("nesting deeper than " + std::to_string(maxDepth_) + " levels");
            }
            containers_.push_back(c);
            indices_.push_back(0);
            path_.emplace_back(c == '[' ? "0" : "");
            ++pos_;
            expect = c == '{' ? Expect::firstMemberOrEnd : Expect::firstElementOrEnd;
            continue;
          }
          if (c == '"') {
            if (!scanString(nullptr)) return std::move(result_);
          } else if (c == '-' || isDigit(c)) {
            if (!scanNumber()) return std::move(result_);
          } else if (!scanLiteral()) {
            return std::move(result_);
          }
          expect = afterValue();
          if (matchedTwice()) return std::move(result_);
          continue;
      }
    }
  }

 private:
  void skipWhitespace() {
    while (pos_ < text_.size() && isWhitespace(text_[pos_])) ++pos_;
  }

  Expect afterValue() const { return containers_.empty() ? Expect::end : Expect::commaOrEnd; }

  void close() {
    containers_.pop_back();
    indices_.pop_back();
    path_.pop_back();
    ++pos_;
  }

  TextPlace place(std::size_t start, std::size_t end) const {
    TextPlace place{start, end, 1, 1};
    const std::string_view before = text_.substr(0, start);
    place.line = 1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
    const std::size_t lastNewline = before.rfind('\n');
    place.column = lastNewline == std::string_view::npos ? start + 1 : start - lastNewline;
    return place;
  }

  // Where the token at `at` ends: a string at its closing quote (or the end of its line), a
  // structural character at once, anything else at the next whitespace, structural character
  // or quote.
  std::size_t tokenEnd(std::size_t at) const {
    if (at >= text_.size()) return at;
    if (text_[at] == '"') {
      std::size_t end = at + 1;
      while (end < text_.size() && text_[end] != '"' && text_[end] != '\n') {
        end += text_[end] == '\\' ? 2 : 1;
      }
      return std::min(end + 1, text_.size());
    }
    if (isStructural(text_[at])) return at + 1;
    std::size_t end = at + 1;
    while (end < text_.size() && !isWhitespace(text_[end]) && !isStructural(text_[end]) &&
           text_[end] != '"') {
      ++end;
    }
    return end;
  }

  void record(std::string what, std::size_t at, std::size_t end) {
    JsonProblem problem;
    problem.place = place(at, std::min(end, text_.size()));
    problem.what = std::move(what);
    result_.problem = std::move(problem);
  }
  JsonScan fail(std::string what) {
    record(std::move(what), pos_, tokenEnd(pos_));
    return std::move(result_);
  }
  bool failed(std::string what, std::size_t at, std::size_t end) {
    record(std::move(what), at, end);
    return false;
  }

  // Whether the member just named is the one looked for.
  bool isTarget() const {
    if (path_.size() != target_->size()) return false;
    for (std::size_t i = 0; i < path_.size(); ++i) {
      const std::string_view name = path_[i];
      const std::string_view wanted = (*target_)[i];
      if (name != wanted &&
          (foundation::isAscii(name) || !foundation::canonicallyEqual(name, wanted))) {
        return false;
      }
    }
    return true;
  }

  // Called where a value ends: closes the match it completes. True once a second member of the
  // name is complete, which ends the search.
  bool matchedTwice() {
    if (!matchStart_ || containers_.size() != target_->size()) return false;
    found_ = place(*matchStart_, pos_);
    matchStart_.reset();
    return ++matches_ == 2;
  }

  bool scanLiteral() {
    for (std::string_view literal : {"true", "false", "null"}) {
      if (text_.substr(pos_, literal.size()) == literal) {
        pos_ += literal.size();
        return true;
      }
    }
    return failed("unexpected character", pos_, tokenEnd(pos_));
  }

  bool readHex4(std::size_t at, std::uint32_t& out) {
    if (at + 4 > text_.size()) return failed("incomplete \\u escape", at, text_.size());
    out = 0;
    for (std::size_t i = 0; i < 4; ++i) {
      const int digit = hexValue(text_[at + i]);
      if (digit < 0) return failed("invalid hexadecimal digit in a \\u escape", at + i, at + i + 1);
      out = out * 16 + static_cast<std::uint32_t>(digit);
    }
    return true;
  }

  // pos_ is at the opening quote. The unescaped text goes to out when asked for.
  bool scanString(std::string* out) {
    const std::size_t start = pos_++;
    while (true) {
      if (pos_ >= text_.size()) return failed("unterminated string", start, text_.size());
      const auto c = static_cast<unsigned char>(text_[pos_]);
      if (c == '"') {
        ++pos_;
        return true;
      }
      if (c < 0x20) return failed("unescaped control character in a string", pos_, pos_ + 1);
      if (c >= 0x80) {
        const std::size_t length = utf8SequenceLength(text_.substr(pos_));
        if (length == 0) return failed("invalid UTF-8", pos_, pos_ + 1);
        if (out) out->append(text_.substr(pos_, length));
        pos_ += length;
        continue;
      }
      if (c != '\\') {
        if (out) *out += static_cast<char>(c);
        ++pos_;
        continue;
      }
      const std::size_t escape = pos_;
      if (pos_ + 1 >= text_.size()) return failed("unterminated string", start, text_.size());
      const char kind = text_[pos_ + 1];
      static constexpr std::string_view simple = "\"\\/bfnrt";
      static constexpr std::string_view meaning = "\"\\/\b\f\n\r\t";
      if (const auto i = simple.find(kind); i != std::string_view::npos) {
        if (out) *out += meaning[i];
        pos_ += 2;
        continue;
      }
      if (kind != 'u') return failed("invalid escape in a string", escape, escape + 2);
      std::uint32_t unit = 0;
      if (!readHex4(pos_ + 2, unit)) return false;
      pos_ += 6;
      if (unit >= 0xdc00 && unit <= 0xdfff) return failed("lone low surrogate", escape, pos_);
      if (unit >= 0xd800 && unit <= 0xdbff) {
        std::uint32_t low = 0;
        if (text_.substr(pos_, 2) != "\\u") {
          return failed("lone high surrogate", escape, escape + 6);
        }
        if (!readHex4(pos_ + 2, low)) return false;
        if (low < 0xdc00 || low > 0xdfff) return failed("lone high surrogate", escape, escape + 6);
        pos_ += 6;
        unit = 0x10000 + ((unit - 0xd800) << 10) + (low - 0xdc00);
      }
      if (out) foundation::appendUtf8(*out, unit);
    }
  }

  bool scanNumber() {
    const std::size_t start = pos_;
    bool integral = true;
    if (text_[pos_] == '-') ++pos_;
    if (pos_ >= text_.size() || !isDigit(text_[pos_])) {
      return failed("invalid number", start, tokenEnd(start));
    }
    if (text_[pos_] == '0') {
      ++pos_;
    } else {
      while (pos_ < text_.size() && isDigit(text_[pos_])) ++pos_;
    }
    if (pos_ < text_.size() && text_[pos_] == '.') {
      integral = false;
      ++pos_;
      if (pos_ >= text_.size() || !isDigit(text_[pos_])) {
        return failed("invalid number", start, tokenEnd(start));
      }
      while (pos_ < text_.size() && isDigit(text_[pos_])) ++pos_;
    }
    if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
      integral = false;
      ++pos_;
      if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) ++pos_;
      if (pos_ >= text_.size() || !isDigit(text_[pos_])) {
        return failed("invalid number", start, tokenEnd(start));
      }
      while (pos_ < text_.size() && isDigit(text_[pos_])) ++pos_;
    }
    const std::string_view token = text_.substr(start, pos_ - start);
    // The first out-of-range number is kept, but a syntax fault anywhere outranks it.
    double value = 0;
    const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
    const bool overflow = error == std::errc::result_out_of_range && !tinyExponent(token);
    if (overflow || std::isinf(value)) {
      if (!outOfRange_) {
        JsonProblem problem;
        problem.kind = JsonProblem::Kind::numberOutOfRange;
        problem.place = place(start, pos_);
        problem.what = "the number " + std::string(token.substr(0, 40)) +
                       (token.size() > 40 ? "..." : "") + " is outside the range of a double";
        problem.path = path_;
        outOfRange_ = std::move(problem);
      }
      return true;
    }
    if (integral && !fitsIn64Bits(token)) result_.wideIntegerEnds.push_back(pos_);
    return true;
  }

  // from_chars reports underflow as out of range too; underflow reads as zero, which is fine.
  static bool tinyExponent(std::string_view token) {
    const auto e = token.find_first_of("eE");
    return e != std::string_view::npos && e + 1 < token.size() && token[e + 1] == '-';
  }

  static bool fitsIn64Bits(std::string_view token) {
    if (token.front() == '-') {
      std::int64_t value = 0;
      const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
      return error == std::errc();
    }
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
    return error == std::errc();
  }

  std::string_view text_;
  std::size_t maxDepth_;
  std::size_t pos_ = 0;
  std::vector<char> containers_;
  std::vector<std::size_t> indices_;
  CodingPath path_;
  JsonScan result_;
  std::optional<JsonProblem> outOfRange_;
  // The member looked for: its path, where the one being read starts, the last one read whole.
  const CodingPath* target_;
  std::optional<std::size_t> matchStart_;
  std::size_t matches_ = 0;
  std::optional<TextPlace> found_;

 public:
  // A document whose only fault is a number out of range reports that number.
  JsonScan finish(JsonScan scan) {
    if (!scan.problem && outOfRange_) scan.problem = std::move(outOfRange_);
    return scan;
  }

  std::optional<TextPlace> found() const { return found_; }
};

}  // namespace

JsonScan scanJson(std::string_view text, std::size_t maxDepth) {
  Scanner scanner(text, maxDepth);
  return scanner.finish(scanner.run());
}

std::optional<TextPlace> findMember(std::string_view text, const CodingPath& path) {
  Scanner scanner(text, std::numeric_limits<std::size_t>::max(), &path);
  scanner.run();
  return scanner.found();
}

}  // namespace coding::detail
