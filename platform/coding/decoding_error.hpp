#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace coding {

// Member names (and array positions, as decimal text) from the document's root to a value.
using CodingPath = std::vector<std::string>;

// Why a value could not be decoded. Failures are values; nothing throws past the decoder.
struct DecodingError {
  enum class Kind { keyNotFound, valueNotFound, typeMismatch, dataCorrupted };

  Kind kind = Kind::dataCorrupted;
  CodingPath codingPath;
  std::string detail;

  // The member the failure is about: the last name on the path, if any.
  std::optional<std::string> key() const;
  // `<kind>: "<key>": <detail>`, or `<kind>: <detail>` when no member is at fault. A member
  // inside another is named by its whole path: "aps.content-state.progress".
  std::string description() const;

  friend bool operator==(const DecodingError&, const DecodingError&) = default;
};

std::string_view kindName(DecodingError::Kind kind);

}  // namespace coding
