#include "platform/coding/decoder.hpp"

#include <string>

namespace coding::detail {
namespace {

DecodingError memberError(DecodingError::Kind kind, const CodingPath& path, std::string_view key,
                          std::string detail) {
  CodingPath full = path;
  full.emplace_back(key);
  return DecodingError{kind, std::move(full), std::move(detail)};
}

std::string expectedFound(JsonValue::Type expected, JsonValue::Type found) {
  std::string text = "expected ";
  text += describeType(expected);
  text += ", found ";
  text += describeType(found);
  return text;
}

}  // namespace

std::optional<DecodingError> checkMember(const JsonValue& value, JsonValue::Type expected,
                                         Presence presence, const CodingPath& path,
                                         std::string_view key) {
  using Type = JsonValue::Type;
  if (value.duplicated) {
    return memberError(DecodingError::Kind::dataCorrupted, path, key,
                       "the member appears more than once");
  }
  if (value.type == expected) return std::nullopt;
  if (presence == Presence::optional && (value.type == Type::missing || value.type == Type::null)) {
    return std::nullopt;
  }
  if (value.type == Type::missing) {
    return memberError(DecodingError::Kind::keyNotFound, path, key, "no value for this key");
  }
  if (value.type == Type::null) {
    return memberError(DecodingError::Kind::valueNotFound, path, key,
                       expectedFound(expected, value.type));
  }
  return memberError(DecodingError::Kind::typeMismatch, path, key,
                     expectedFound(expected, value.type));
}

std::optional<DecodingError> checkObject(const JsonValue& value, const CodingPath& path) {
  if (value.type == JsonValue::Type::object) return std::nullopt;
  return DecodingError{DecodingError::Kind::typeMismatch, path,
                       expectedFound(JsonValue::Type::object, value.type)};
}

}  // namespace coding::detail
