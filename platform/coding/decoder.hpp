#pragma once

#include "platform/coding/coding_key.hpp"
#include "platform/coding/decoding_error.hpp"
#include "platform/coding/json_document.hpp"
#include "platform/coding/result.hpp"
#include "platform/foundation/string.hpp"

#include <array>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

namespace coding {

template <CodingKey K>
class KeyedDecodingContainer;

// One value of a document with the coding path that leads to it.
class Decoder {
 public:
  Decoder(const JsonDocument& document, JsonValue value, CodingPath codingPath = {})
      : document_(&document), value_(value), codingPath_(std::move(codingPath)) {}

  template <CodingKey K>
  KeyedDecodingContainer<K> container() const {
    return KeyedDecodingContainer<K>(*this);
  }

  const JsonDocument& document() const noexcept { return *document_; }
  const JsonValue& value() const noexcept { return value_; }
  const CodingPath& codingPath() const noexcept { return codingPath_; }

 private:
  const JsonDocument* document_;
  JsonValue value_;
  CodingPath codingPath_;
};

namespace detail {

enum class Presence { required, optional };

// What a container reads for a key the object lacks.
inline constexpr JsonValue missingMember{};

// Whether a member can be read as a value of the expected type; the error names the key.
std::optional<DecodingError> checkMember(const JsonValue& value, JsonValue::Type expected,
                                         Presence presence, const CodingPath& path,
                                         std::string_view key);
std::optional<DecodingError> checkObject(const JsonValue& value, const CodingPath& path);

}  // namespace detail

// The members of one object, read by key. Each read returns false once anything has failed, so a
// record's reads chain with && and stop at the first failure, which finish() then reports.
template <CodingKey K>
class KeyedDecodingContainer {
 public:
  using Key = K;

  explicit KeyedDecodingContainer(const Decoder& decoder) : decoder_(decoder) {
    if (decoder.value().type == JsonValue::Type::object) {
      decoder.document().find(decoder.value().node, codingKeyStrings(K{}), members_);
    } else {
      error_ = detail::checkObject(decoder.value(), decoder.codingPath());
    }
  }

  bool contains(K key) const { return member(key).type != JsonValue::Type::missing; }

  bool decode(K key, double& out) {
    if (!check(key, JsonValue::Type::number, detail::Presence::required)) return false;
    out = member(key).number;
    return true;
  }

  bool decode(K key, foundation::String& out) {
    if (!check(key, JsonValue::Type::string, detail::Presence::required)) return false;
    // Built in place at its size: assigning into the empty string takes a slower path, and
    // moving in a string built beside it reloads the fields just stored, which stalls on the
    // store buffer.
    std::destroy_at(&out);
    try {
      std::construct_at(&out, member(key).text);
    } catch (...) {
      std::construct_at(&out);
      throw;
    }
    return true;
  }

  // A missing member and a null member both give nothing.
  bool decodeIfPresent(K key, std::optional<foundation::String>& out) {
    if (!check(key, JsonValue::Type::string, detail::Presence::optional)) return false;
    const JsonValue& value = member(key);
    if (value.type == JsonValue::Type::string) {
      out.emplace(value.text);
    } else {
      out.reset();
    }
    return true;
  }

  bool decodeIfPresent(K key, std::optional<double>& out) {
    if (!check(key, JsonValue::Type::number, detail::Presence::optional)) return false;
    const JsonValue& value = member(key);
    if (value.type == JsonValue::Type::number) {
      out = value.number;
    } else {
      out.reset();
    }
    return true;
  }

  // The JSON type of a member, for members that may hold more than one kind of value.
  JsonValue::Type type(K key) const { return member(key).type; }
  // A member's value as it stands, for a reader with rules of its own about it.
  const JsonValue& valueOf(K key) const { return member(key); }

  // The decoder of a member's value, for records nested in records.
  Decoder nestedDecoder(K key) const {
    CodingPath path = decoder_.codingPath();
    path.emplace_back(stringValue(key));
    return Decoder(decoder_.document(), member(key), std::move(path));
  }

  // A nested object that must be there: missing or null is the member's failure.
  bool decodeNested(K key, std::optional<Decoder>& out) {
    if (!check(key, JsonValue::Type::object, detail::Presence::required)) return false;
    out.emplace(nestedDecoder(key));
    return true;
  }

  // A nested object that may be missing or null, which gives nothing.
  bool decodeNestedIfPresent(K key, std::optional<Decoder>& out) {
    if (!check(key, JsonValue::Type::object, detail::Presence::optional)) return false;
    if (member(key).type == JsonValue::Type::object) {
      out.emplace(nestedDecoder(key));
    } else {
      out.reset();
    }
    return true;
  }

  // Reports a failure about a member found by the caller's own rules.
  bool fail(K key, DecodingError::Kind kind, std::string detail) {
    if (error_) return false;
    CodingPath path = decoder_.codingPath();
    path.emplace_back(stringValue(key));
    error_ = DecodingError{kind, std::move(path), std::move(detail)};
    return false;
  }

  const std::optional<DecodingError>& error() const noexcept { return error_; }

  // Hands the first failure, if any, to the result that the reads filled in place.
  template <class T>
  void finish(Result<T, DecodingError>& result) && {
    if (error_) result = std::move(*error_);
  }

 private:
  const JsonValue& member(K key) const {
    const JsonValue* value = members_[static_cast<std::size_t>(key)].value;
    return value != nullptr ? *value : detail::missingMember;
  }

  bool check(K key, JsonValue::Type expected, detail::Presence presence) {
    if (error_) return false;
    const JsonValue& value = member(key);
    const bool duplicated = members_[static_cast<std::size_t>(key)].duplicated;
    if (value.type == expected && !duplicated) return true;
    // An optional member left out is common enough to spare the out-of-line check.
    if (presence == detail::Presence::optional && !duplicated &&
        (value.type == JsonValue::Type::missing || value.type == JsonValue::Type::null))
      return true;
    return checkApart(key, expected, presence);
  }

  // Out of line, so that the common path above stays small enough to be inlined.
  [[gnu::noinline]] bool checkApart(K key, JsonValue::Type expected, detail::Presence presence) {
    JsonValue found = member(key);
    found.duplicated = members_[static_cast<std::size_t>(key)].duplicated;
    error_ =
        detail::checkMember(found, expected, presence, decoder_.codingPath(), stringValue(key));
    return !error_;
  }

  Decoder decoder_;
  // The values stay in the document: copying them costs more than finding them.
  std::array<JsonDocument::Found, keyCount<K>()> members_{};
  std::optional<DecodingError> error_;
};

}  // namespace coding
