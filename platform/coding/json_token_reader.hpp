#pragma once

#include "platform/coding/json_tape.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace simdjson::internal {
class dom_parser_implementation;
}

namespace coding::detail {

// Reads JSON into the tape from simdjson's stage 1 (the index of structural characters and
// scalar starts that its On-Demand front end walks) with a grammar walk of our own, without
// building simdjson's DOM: on a short text, building the DOM is more than half the parse.
//
// Every value is visited and checked. Stage 1 refuses invalid UTF-8, raw control characters and
// unclosed strings anywhere in the text; the walk checks the rest (structure, literals, numbers,
// escapes, trailing content). It returns false at anything that is not plainly valid and for what
// it leaves to the full reader (a document that is not an object or an array, nesting deeper than
// maxDepth, a number the fast parser does not take); the caller then reads the text with the full
// reader, which decides and words the fault. It never accepts a text that the full reader refuses,
// and gives the same values.
class JsonTokenReader {
 public:
  JsonTokenReader();
  ~JsonTokenReader();
  JsonTokenReader(JsonTokenReader&&) noexcept;
  JsonTokenReader& operator=(JsonTokenReader&&) noexcept;

  // Well within the full reader's limit, which counts levels in its own way (an innermost scalar
  // counts as one more level than an innermost empty array): deeper texts are left to it.
  static constexpr std::size_t maxDepth = 256;

  // The text must be followed by simdjson::SIMDJSON_PADDING readable bytes. Strings in the tape
  // point into the text or into this reader, valid until its next read.
  bool read(std::string_view text, JsonTape& tape);

 private:
  std::unique_ptr<simdjson::internal::dom_parser_implementation> stage1_;
  // Unescaped strings: never longer than the text.
  std::vector<std::uint8_t> strings_;
};

}  // namespace coding::detail
