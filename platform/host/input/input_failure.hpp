#pragma once

#include "platform/coding/decoding_error.hpp"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace host {

// Why an input was refused, and where. The kinds of a decoding failure keep their names; the
// others say what the host itself refused.
struct InputFailure {
  enum class Kind {
    keyNotFound,
    valueNotFound,
    typeMismatch,
    dataCorrupted,
    invalidValue,  // decoded, but cannot be written back (the encoder refused it)
    unavailable,   // no activity type is registered on this system
    usage,         // the command line does not say enough to read the input
  };

  Kind kind = Kind::dataCorrupted;
  std::size_t line = 0;  // 0 outside a timeline
  coding::CodingPath path;
  std::string detail;
  // Where in the whole input the fault lies, when it lies in the text.
  std::optional<coding::TextPlace> place = std::nullopt;

  static InputFailure decoding(const coding::DecodingError& error);

  // `line 3: keyNotFound: "aps.content-state": no value for this key`
  std::string description() const;
};

std::string_view kindName(InputFailure::Kind kind);

// "aps.content-state.progress"
std::string joinedPath(const coding::CodingPath& path);

}  // namespace host
