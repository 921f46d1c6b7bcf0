// The readers of JSON text against each other. The token walk over simdjson's first stage must
// accept only what the DOM reader accepts, with the same values, and leave over to it only what it
// says it leaves (a lone scalar, deep nesting, a number its parser does not take); wherever the DOM
// reader refuses a text, the scan must find the fault, so that every refusal has a place, and the
// place of a member must hold that member. Neither reader may read the bytes after a text.
#include "platform/coding/json_document.hpp"
#include "platform/coding/json_dom_reader.hpp"
#include "platform/coding/json_syntax.hpp"
#include "platform/coding/json_tape.hpp"
#include "platform/coding/json_token_reader.hpp"
#include "platform/foundation/string.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using coding::JsonDocument;
using coding::JsonValue;
using coding::detail::JsonTape;

void check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "readers disagree: %s\n", what);
  std::abort();
}

bool same(const JsonTape& a, const JsonValue& x, const JsonTape& b, const JsonValue& y) {
  if (x.type != y.type) return false;
  switch (x.type) {
    case JsonValue::Type::number:
      // Bit for bit: minus zero is not zero.
      return std::memcmp(&x.number, &y.number, sizeof x.number) == 0;
    case JsonValue::Type::string:
      return x.text == y.text;
    case JsonValue::Type::object: {
      const auto m = a.members(x.node);
      const auto n = b.members(y.node);
      return std::equal(m.begin(), m.end(), n.begin(), n.end(), [&](const auto& p, const auto& q) {
        return p.name == q.name && same(a, p.value, b, q.value);
      });
    }
    default:
      return true;
  }
}

// Of a valid text: whether the token walk may leave it to the DOM reader, as its root is no
// container, its containers nest deeper than the walk goes, or it holds a number that the walk
// leaves over on its own (an exponent of more than 18 digits, a fraction of more than 19 after
// "0.").
bool leftOver(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (text[first] != '{' && text[first] != '[') return true;
  std::size_t level = 0;
  std::size_t deepest = 0;
  bool inString = false;
  std::vector<std::string_view> numbers;
  for (std::size_t i = first; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '{' || c == '[') {
      deepest = std::max(deepest, ++level);
    } else if (c == '}' || c == ']') {
      --level;
    } else if (c == '-' || (c >= '0' && c <= '9')) {
      const std::size_t end = text.find_first_of(" \t\r\n,]}", i);
      numbers.push_back(text.substr(i, end - i));
      i = end - 1;
    }
  }
  if (deepest > coding::detail::JsonTokenReader::maxDepth) return true;
  static coding::detail::JsonTokenReader walk;
  JsonTape tape;
  return std::any_of(numbers.begin(), numbers.end(), [&](std::string_view number) {
    std::string alone = "[" + std::string(number) + "]";
    alone.append(JsonDocument::readAhead, '\0');
    return !walk.read(std::string_view(alone.data(), number.size() + 2), tape);
  });
}

// The member a refusal would name is found again in the text, and is one member of that name.
void checkPlaces(std::string_view text, const JsonTape& tape) {
  if (tape.root.type != JsonValue::Type::object) return;
  static JsonDocument alone;
  const auto members = tape.members(tape.root.node);
  for (const auto& member : members.first(std::min<std::size_t>(members.size(), 4))) {
    const auto place = coding::placeOfMember(text, {std::string(member.name)});
    check(place && place->start < place->end && place->end <= text.size(),
          "a member of the root is not found");
    const std::string wrapped =
        "{" + std::string(text.substr(place->start, place->end - place->start)) + "}";
    check(!alone.read(wrapped) && alone.root().type == JsonValue::Type::object,
          "the place of a member is not a member");
    std::size_t count = 0;
    alone.forEachMember(alone.root().node, [&](std::string_view name, const JsonValue&) {
      ++count;
      check(foundation::canonicallyEqual(name, member.name), "the place holds another member");
    });
    check(count == 1, "the place holds more than one member");
  }
}

// Both readers on one text, read where it lies with the given bytes after it.
struct Reading {
  coding::detail::JsonTokenReader walk;
  coding::detail::JsonDomReader dom{JsonDocument::maxDepth, JsonDocument::maxBytes};
  JsonTape walked;
  JsonTape read;
  std::vector<char> buffer;
  bool walkAccepts = false;
  std::optional<coding::DecodingError> refusal;

  void run(std::string_view text, std::string_view after) {
    buffer.assign(text.begin(), text.end());
    for (std::size_t i = 0; i < JsonDocument::readAhead; ++i) {
      buffer.push_back(after[i % after.size()]);
    }
    const std::string_view padded(buffer.data(), text.size());
    walkAccepts = walk.read(padded, walked);
    refusal = dom.read(text, padded, read);
  }
};

Reading zeros;
// Bytes after the text that would close a string, an object or an array if they were read.
Reading closers;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  zeros.run(text, std::string_view("\0", 1));
  if (zeros.refusal) {
    check(!zeros.walkAccepts, "the walk accepts a text the DOM reader refuses");
    check(zeros.refusal->place.has_value(),
          "the DOM reader refuses a text where the scan finds no fault");
  } else {
    check(!coding::detail::scanJson(text, JsonDocument::maxDepth).problem,
          "the scan finds a fault in a text the DOM reader accepts");
    if (zeros.walkAccepts) {
      check(same(zeros.walked, zeros.walked.root, zeros.read, zeros.read.root),
            "the walk and the DOM reader read different values");
    } else {
      check(leftOver(text), "the walk leaves over a text it could read");
    }
    checkPlaces(text, zeros.read);
  }

  closers.run(text, "\"}]");
  check(closers.walkAccepts == zeros.walkAccepts, "the walk reads past the end of the text");
  check(closers.refusal.has_value() == zeros.refusal.has_value(),
        "the DOM reader reads past the end of the text");
  if (zeros.walkAccepts) {
    check(same(zeros.walked, zeros.walked.root, closers.walked, closers.walked.root),
          "the walk reads past the end of the text");
  }
  return 0;
}
