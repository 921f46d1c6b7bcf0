#pragma once

#include "platform/coding/decoding_error.hpp"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace coding::detail {

// What a full scan of a JSON text found wrong with it, with the place. The fast parser says only
// that something is wrong; this scan, run after it fails, says what and where.
struct JsonProblem {
  enum class Kind { syntax, numberOutOfRange };
  Kind kind = Kind::syntax;
  std::size_t offset = 0;
  std::size_t line = 1;
  std::size_t column = 1;
  std::string what;
  // For a number out of range: the path of the member that holds it.
  CodingPath path;
};

struct JsonScan {
  std::optional<JsonProblem> problem;
  // Ends of integers too large for 64 bits but within the range of a double.
  std::vector<std::size_t> wideIntegerEnds;
};

JsonScan scanJson(std::string_view text, std::size_t maxDepth);

}  // namespace coding::detail
