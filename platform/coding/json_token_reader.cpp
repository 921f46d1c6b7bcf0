#include "platform/coding/json_token_reader.hpp"

#include <simdjson.h>

#include <algorithm>
#include <cstring>

namespace coding::detail {
namespace {

namespace numberparsing = simdjson::SIMDJSON_BUILTIN_IMPLEMENTATION::numberparsing;

bool isWhitespace(std::uint8_t c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Each token is a structural character or the first byte of a scalar, and runs up to the next.
class Walk {
 public:
  Walk(const std::uint8_t* text, const std::uint32_t* first, const std::uint32_t* end,
       const simdjson::internal::dom_parser_implementation& stage1, std::uint8_t* strings,
       JsonTape& tape, std::uint32_t firstBackslash)
      : text_(text),
        next_(first),
        end_(end),
        stage1_(stage1),
        strings_(strings),
        tape_(tape),
        firstBackslash_(firstBackslash) {}

  // `depth` is that of the container holding the value.
  bool value(std::size_t depth, JsonValue& out) {
    if (next_ == end_) return false;
    const std::uint8_t* token = text_ + *next_;
    switch (*token) {
      case '{':
        ++next_;
        return object(depth + 1, out);
      case '[':
        ++next_;
        return array(depth + 1, out);
      case '"':
        out.type = JsonValue::Type::string;
        return string(out.text);
      case 't':
        out.type = JsonValue::Type::boolean;
        out.number = 1;
        return literal("true");
      case 'f':
        out.type = JsonValue::Type::boolean;
        out.number = 0;
        return literal("false");
      case 'n':
        out.type = JsonValue::Type::null;
        return literal("null");
      default:
        ++next_;
        out.type = JsonValue::Type::number;
        return number(token, out.number);
    }
  }

  bool atEnd() const { return next_ == end_; }

 private:
  // The next token's first byte, consumed; 0 past the last token.
  std::uint8_t take() { return next_ == end_ ? 0 : text_[*next_++]; }
  std::uint8_t peek() const { return next_ == end_ ? 0 : text_[*next_]; }

  bool object(std::size_t depth, JsonValue& out) {
    if (depth > JsonTokenReader::maxDepth) return false;
    const std::size_t mark = tape_.openObject();
    if (peek() == '}') {
      ++next_;
    } else {
      while (true) {
        if (peek() != '"') return false;
        JsonTape::Member& member = tape_.addMember();
        if (!string(member.name) || take() != ':') return false;
        const std::uint8_t first = peek();
        if (first == '{' || first == '[') {
          JsonValue container;
          if (!value(depth, container)) return false;
          tape_.lastMember().value = container;
        } else if (!value(depth, member.value)) {
          return false;
        }
        const std::uint8_t separator = take();
        if (separator == '}') break;
        if (separator != ',') return false;
      }
    }
    tape_.closeObject(mark, out);
    return true;
  }

  // Elements are checked but not kept: nothing reads them.
  bool array(std::size_t depth, JsonValue& out) {
    if (depth > JsonTokenReader::maxDepth) return false;
    if (peek() == ']') {
      ++next_;
    } else {
      while (true) {
        JsonValue element;
        if (!value(depth, element)) return false;
        const std::uint8_t separator = take();
        if (separator == ']') break;
        if (separator != ',') return false;
      }
    }
    tape_.array(out);
    return true;
  }

  // The token at next_ starts with a quote. A string without a backslash is its own value, read
  // where it lies; only escapes need unescaping, which checks them. Most texts have no backslash
  // at all, so one search of the whole text spares one per string.
  bool string(std::string_view& out) {
    const std::uint32_t start = *next_++;
    // The token is the quoted string, then any whitespace up to the next token (the index ends
    // with one entry at the end of the text).
    std::uint32_t close = *next_ - 1;
    while (close > start && text_[close] != '"' && isWhitespace(text_[close])) --close;
    if (close <= start || text_[close] != '"') return false;
    const char* content = reinterpret_cast<const char*>(text_) + start + 1;
    const std::size_t size = close - start - 1;
    if (close <= firstBackslash_ || std::memchr(content, '\\', size) == nullptr) {
      out = std::string_view(content, size);
      return true;
    }
    std::uint8_t* end = stage1_.parse_string(text_ + start + 1, strings_);
    if (end == nullptr) return false;
    out = std::string_view(reinterpret_cast<const char*>(strings_),
                           static_cast<std::size_t>(end - strings_));
    strings_ = end;
    return true;
  }

  // Checks the grammar and that whitespace or a structural character follows.
  static bool number(const std::uint8_t* token, double& out) {
    if (longFractionAfterZero(token)) return false;
    if (numberparsing::parse_double(token).get(out)) return false;
    // The full reader reads "-0" as the integer 0, and only "-0.0" and the like as minus zero.
    if (out == 0 && token[0] == '-' && token[1] == '0' && token[2] != '.' && token[2] != 'e' &&
        token[2] != 'E') {
      out = 0;
    }
    return true;
  }

  // The fast parser takes the digits after "0." for its mantissa without noticing that more than
  // 19 of them overflow it, and reads 0.33333333333333333333 as 0.1488...: such a number is left
  // to the full reader. The twentieth digit is looked at first, as it is rarely one; the padding
  // after the text covers reads past its end.
  static bool longFractionAfterZero(const std::uint8_t* token) {
    const std::uint8_t* p = token + (*token == '-');
    if (p[0] != '0' || p[1] != '.') return false;
    const auto isDigit = [](std::uint8_t c) { return c >= '0' && c <= '9'; };
    return isDigit(p[21]) && std::all_of(p + 2, p + 21, isDigit);
  }

  bool literal(std::string_view word) {
    const std::uint32_t start = *next_++;
    const std::uint32_t length = *next_ - start;
    const std::uint8_t* token = text_ + start;
    if (length < word.size() || std::memcmp(token, word.data(), word.size()) != 0) return false;
    return std::all_of(token + word.size(), token + length, isWhitespace);
  }

  const std::uint8_t* text_;
  const std::uint32_t* next_;
  const std::uint32_t* end_;
  const simdjson::internal::dom_parser_implementation& stage1_;
  std::uint8_t* strings_;
  JsonTape& tape_;
  // Where the text's first backslash is, or its size when it has none.
  std::uint32_t firstBackslash_;
};

}  // namespace

JsonTokenReader::JsonTokenReader() = default;
JsonTokenReader::~JsonTokenReader() = default;
JsonTokenReader::JsonTokenReader(JsonTokenReader&&) noexcept = default;
JsonTokenReader& JsonTokenReader::operator=(JsonTokenReader&&) noexcept = default;

bool JsonTokenReader::read(std::string_view text, JsonTape& tape) {
  const std::size_t capacity = std::max<std::size_t>(text.size(), 1024);
  if (!stage1_) {
    if (simdjson::get_active_implementation()->create_dom_parser_implementation(capacity, maxDepth,
                                                                                stage1_)) {
      return false;
    }
  } else if (stage1_->capacity() < text.size()) {
    if (stage1_->set_capacity(capacity)) return false;
  }
  if (strings_.size() < text.size() + simdjson::SIMDJSON_PADDING) {
    strings_.resize(capacity + simdjson::SIMDJSON_PADDING);
  }
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  if (stage1_->stage1(bytes, text.size(), simdjson::stage1_mode::regular)) return false;
  const std::uint32_t* first = stage1_->structural_indexes.get();
  const std::uint32_t* end = first + stage1_->n_structural_indexes;
  // A lone scalar is left to the full reader, which reads it with no structural character after.
  if (first == end || (bytes[*first] != '{' && bytes[*first] != '[')) return false;
  const void* backslash = std::memchr(bytes, '\\', text.size());
  const auto firstBackslash = static_cast<std::uint32_t>(
      backslash == nullptr ? text.size() : static_cast<const std::uint8_t*>(backslash) - bytes);
  Walk walk(bytes, first, end, *stage1_, strings_.data(), tape, firstBackslash);
  // Content after the root value is refused.
  return walk.value(0, tape.root) && walk.atEnd();
}

}  // namespace coding::detail
