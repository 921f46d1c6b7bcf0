#pragma once

#include "platform/coding/decoder.hpp"
#include "platform/coding/json_document.hpp"

#include <concepts>
#include <string_view>

namespace coding {

template <class T>
concept Decodable = requires(Decoder& decoder) {
  { T::decode(decoder) } -> std::same_as<Result<T, DecodingError>>;
};

// Reads a value from JSON text. Keeps its reader between calls, so one decoder used for many
// documents does not allocate anew for each.
class JSONDecoder {
 public:
  template <Decodable T>
  Result<T, DecodingError> decode(std::string_view json) {
    if (auto error = document_.read(json)) return std::move(*error);
    Decoder decoder(document_, document_.root());
    return T::decode(decoder);
  }

 private:
  JsonDocument document_;
};

}  // namespace coding
