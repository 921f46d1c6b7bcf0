#pragma once

#include "platform/coding/encoder.hpp"
#include "platform/coding/result.hpp"

#include <string>

namespace coding {

template <class T>
concept Encodable = requires(const T& value, Encoder& encoder) { value.encode(encoder); };

// Writes a value as compact JSON; a refused value gives the error and no text.
template <Encodable T>
Result<std::string, EncodingError> encodeJSON(const T& value) {
  std::string out;
  Encoder encoder(out);
  value.encode(encoder);
  if (encoder.error()) return *encoder.error();
  return out;
}

}  // namespace coding
