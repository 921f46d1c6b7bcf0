#pragma once

#include "platform/coding/decoding_error.hpp"
#include "platform/coding/encoding_error.hpp"
#include "platform/coding/json_decoder.hpp"
#include "platform/coding/json_encoder.hpp"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace host {

// What reading one record gave: its re-encoded JSON, or why it was refused.
using RecordOutcome = std::variant<std::string, coding::DecodingError, coding::EncodingError>;

// A record type the command line can read, under the name users give with --type.
struct RecordKind {
  std::string name;
  std::function<RecordOutcome(std::string_view json)> validate;
};

template <class T>
  requires coding::Decodable<T> && coding::Encodable<T>
RecordKind recordKind(std::string name) {
  return RecordKind{std::move(name), [](std::string_view json) -> RecordOutcome {
                      coding::JSONDecoder decoder;
                      auto decoded = decoder.decode<T>(json);
                      if (!decoded) return std::move(decoded).error();
                      auto encoded = coding::encodeJSON(*decoded);
                      if (!encoded) return std::move(encoded).error();
                      return std::move(encoded).value();
                    }};
}

}  // namespace host
