#pragma once

#include "platform/coding/decoding_error.hpp"

#include <string>

namespace coding {

// Why a value could not be encoded: the encoder refused it (a non-finite number, text that is not
// UTF-8). Nothing is written for a value that fails.
struct EncodingError {
  CodingPath codingPath;
  std::string detail;

  // `invalidValue: "<key>": <detail>`.
  std::string description() const;

  friend bool operator==(const EncodingError&, const EncodingError&) = default;
};

}  // namespace coding
