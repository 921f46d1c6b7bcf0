#include "platform/coding/json_document.hpp"

#include "platform/coding/json_dom_reader.hpp"
#include "platform/coding/json_syntax.hpp"
#include "platform/coding/json_tape.hpp"
#include "platform/coding/json_token_reader.hpp"
#include "platform/foundation/string.hpp"

#include <simdjson.h>

#include <cstring>
#include <string>
#include <vector>

namespace coding {

struct JsonDocument::Impl {
  detail::JsonTokenReader tokenReader;
  // Only for texts the token reader does not take: it decides, and words what is wrong.
  detail::JsonDomReader domReader{maxDepth, maxBytes};
  detail::JsonTape tape;
  // The text with the padding the parsers read past its end.
  std::vector<char> padded;

  std::string_view pad(std::string_view json) {
    padded.resize(json.size() + simdjson::SIMDJSON_PADDING);
    if (!json.empty()) std::memcpy(padded.data(), json.data(), json.size());
    std::memset(padded.data() + json.size(), 0, simdjson::SIMDJSON_PADDING);
    return std::string_view(padded.data(), json.size());
  }
};

namespace {

DecodingError corrupted(std::string detail, CodingPath path = {}) {
  return DecodingError{DecodingError::Kind::dataCorrupted, std::move(path), std::move(detail)};
}

template <class Word>
bool sameWord(const char* a, const char* b) {
  Word x;
  Word y;
  std::memcpy(&x, a, sizeof x);
  std::memcpy(&y, b, sizeof y);
  return x == y;
}

// Member names are short: comparing them in words, the last word overlapping the one before,
// beats a call to memcmp.
bool sameBytes(std::string_view a, std::string_view b) {
  const std::size_t size = a.size();
  if (size != b.size()) return false;
  if (size >= 8) {
    for (std::size_t i = 0; i + 8 < size; i += 8) {
      if (!sameWord<std::uint64_t>(a.data() + i, b.data() + i)) return false;
    }
    return sameWord<std::uint64_t>(a.data() + size - 8, b.data() + size - 8);
  }
  if (size >= 4) {
    return sameWord<std::uint32_t>(a.data(), b.data()) &&
           sameWord<std::uint32_t>(a.data() + size - 4, b.data() + size - 4);
  }
  for (std::size_t i = 0; i < size; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

// Calls `onMatch(index, value)` for each member whose name is one of `names`, in document order.
template <class OnMatch>
void matchMembers(std::span<const detail::JsonTape::Member> members,
                  std::span<const std::string_view> names, OnMatch onMatch) {
  const std::size_t count = names.size();
  std::size_t next = 0;
  for (const auto& member : members) {
    // Senders mostly write members in declaration order, so the name after the last match is
    // tried first.
    std::size_t match = next;
    if (match >= count || !sameBytes(member.name, names[match])) {
      match = 0;
      while (match < count && !sameBytes(member.name, names[match])) ++match;
    }
    // Only a name outside ASCII can be canonically equivalent to different bytes.
    if (match == count && !foundation::isAscii(member.name)) {
      match = 0;
      while (match < count && !foundation::canonicallyEqual(member.name, names[match])) ++match;
    }
    if (match == count) continue;
    next = match + 1;
    onMatch(match, member.value);
  }
}

}  // namespace

std::string_view describeType(JsonValue::Type type) {
  switch (type) {
    case JsonValue::Type::missing:
      return "nothing";
    case JsonValue::Type::null:
      return "null";
    case JsonValue::Type::boolean:
      return "a boolean";
    case JsonValue::Type::number:
      return "a number";
    case JsonValue::Type::string:
      return "a string";
    case JsonValue::Type::array:
      return "an array";
    case JsonValue::Type::object:
      return "an object";
  }
  return "nothing";
}

JsonDocument::JsonDocument() : impl_(std::make_unique<Impl>()) {}
JsonDocument::~JsonDocument() = default;
JsonDocument::JsonDocument(JsonDocument&&) noexcept = default;
JsonDocument& JsonDocument::operator=(JsonDocument&&) noexcept = default;

static_assert(JsonDocument::readAhead >= simdjson::SIMDJSON_PADDING);

std::optional<DecodingError> JsonDocument::read(std::string_view json,
                                                std::size_t readableAfterEnd) {
  impl_->tape.clear();
  if (json.size() > maxBytes) {
    return corrupted("the document is " + std::to_string(json.size()) +
                     " bytes long, more than the " + std::to_string(maxBytes) +
                     " a reader accepts");
  }
  const std::string_view text = readableAfterEnd >= readAhead ? json : impl_->pad(json);
  if (impl_->tokenReader.read(text, impl_->tape)) return std::nullopt;
  return impl_->domReader.read(json, text, impl_->tape);
}

std::optional<TextPlace> placeOfMember(std::string_view json, CodingPath path) {
  while (true) {
    if (auto place = detail::findMember(json, path)) return place;
    if (path.empty()) return std::nullopt;
    path.pop_back();
  }
}

JsonValue JsonDocument::root() const {
  return impl_->tape.root;
}

void JsonDocument::lookUp(std::uint32_t objectNode, std::span<const std::string_view> names,
                          std::span<JsonValue> values) const {
  const std::size_t count = std::min(names.size(), values.size());
  matchMembers(impl_->tape.members(objectNode), names.first(count),
               [&](std::size_t match, const JsonValue& value) {
                 if (values[match].type != JsonValue::Type::missing) {
                   values[match].duplicated = true;
                 } else {
                   values[match] = value;
                 }
               });
}

void JsonDocument::find(std::uint32_t objectNode, std::span<const std::string_view> names,
                        std::span<Found> found) const {
  const std::size_t count = std::min(names.size(), found.size());
  matchMembers(impl_->tape.members(objectNode), names.first(count),
               [&](std::size_t match, const JsonValue& value) {
                 if (found[match].value != nullptr) {
                   found[match].duplicated = true;
                 } else {
                   found[match].value = &value;
                 }
               });
}

void JsonDocument::forEachMember(
    std::uint32_t objectNode,
    const std::function<void(std::string_view, const JsonValue&)>& visit) const {
  for (const auto& member : impl_->tape.members(objectNode)) visit(member.name, member.value);
}

}  // namespace coding
