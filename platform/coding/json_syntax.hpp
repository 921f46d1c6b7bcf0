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
  // The token at fault: where the scan stopped, and as far as the token goes.
  TextPlace place;
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

// The member `path` names in a text that reads without a fault, from its name to the end of its
// value (the whole document for an empty path); the later of two when its object holds the name
// twice, since a reader refuses the repeat. Names compare as a reader compares them: unescaped,
// then under canonical equivalence. Nothing when the text does not hold it.
std::optional<TextPlace> findMember(std::string_view text, const CodingPath& path);

}  // namespace coding::detail
