#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace coding {

// Member names (and array positions, as decimal text) from the document's root to a value.
using CodingPath = std::vector<std::string>;

// A stretch of a JSON text: bytes [start, end), and the line and column (counting bytes from 1)
// where it starts.
struct TextPlace {
  std::size_t start = 0;
  std::size_t end = 0;
  std::size_t line = 1;
  std::size_t column = 1;

  friend bool operator==(const TextPlace&, const TextPlace&) = default;
};

// Why a value could not be decoded. Failures are values; nothing throws past the decoder.
struct DecodingError {
  enum class Kind { keyNotFound, valueNotFound, typeMismatch, dataCorrupted };

  Kind kind = Kind::dataCorrupted;
  CodingPath codingPath;
  std::string detail;
  // Where the fault lies in the text, when the text is known: the token a syntax error stopped at,
  // the number out of range, or the member the path names. Not part of the description.
  std::optional<TextPlace> place = std::nullopt;

  // The member the failure is about: the last name on the path, if any.
  std::optional<std::string> key() const;
  // `<kind>: "<key>": <detail>`, or `<kind>: <detail>` when no member is at fault. A member
  // inside another is named by its whole path: "aps.content-state.progress".
  std::string description() const;

  friend bool operator==(const DecodingError&, const DecodingError&) = default;
};

std::string_view kindName(DecodingError::Kind kind);

}  // namespace coding
