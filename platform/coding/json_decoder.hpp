#pragma once

#include "platform/coding/decoder.hpp"
#include "platform/coding/json_document.hpp"

#include <concepts>
#include <string>
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
    return decodeRead<T>(json, document_.read(json));
  }

  // A string whose spare capacity covers the reader's read-ahead (JsonDocument::readAhead; a
  // string that was given `reserve(size() + readAhead)`) is read where it lies, without a copy.
  template <Decodable T, class Text>
  requires std::same_as<Text, std::string> Result<T, DecodingError> decode(const Text& json) {
    return decodeRead<T>(json, document_.read(json, json.capacity() - json.size()));
  }

 private:
  template <Decodable T>
  Result<T, DecodingError> decodeRead(std::string_view json, std::optional<DecodingError> error) {
    if (error) return std::move(*error);
    return decodeRecord<T>(json);
  }

  // A record's failure is given the place of the member it names. One return, so that the record
  // is built where the caller wants it.
  template <Decodable T>
  Result<T, DecodingError> decodeRecord(std::string_view json) {
    Decoder decoder(document_, document_.root());
    Result<T, DecodingError> result = T::decode(decoder);
    if (!result) [[unlikely]] {
      DecodingError failure = std::move(result).error();
      failure.place = placeOfMember(json, failure.codingPath);
      result = std::move(failure);
    }
    return result;
  }

  JsonDocument document_;
};

}  // namespace coding
