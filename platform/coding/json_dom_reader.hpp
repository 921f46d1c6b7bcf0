#pragma once

#include "platform/coding/decoding_error.hpp"
#include "platform/coding/json_tape.hpp"

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>

namespace coding::detail {

// Reads any JSON text into the tape through simdjson's DOM, which validates everything, for the
// texts the token walk leaves over. A text it refuses is scanned again (json_syntax) for what is
// wrong and where; integers beyond 64 bits, which the DOM refuses, are read as the nearest double.
class JsonDomReader {
 public:
  explicit JsonDomReader(std::size_t maxDepth, std::size_t maxBytes);
  ~JsonDomReader();
  JsonDomReader(JsonDomReader&&) noexcept;
  JsonDomReader& operator=(JsonDomReader&&) noexcept;

  // `padded` holds the bytes of `json` followed by simdjson::SIMDJSON_PADDING readable bytes (it
  // may be `json` itself, read where it lies). Strings in the tape point into this reader, valid
  // until its next read.
  std::optional<DecodingError> read(std::string_view json, std::string_view padded, JsonTape& tape);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace coding::detail
