#include "platform/host/input/input_failure.hpp"

#include <array>

namespace host {

InputFailure InputFailure::decoding(const coding::DecodingError& error) {
  using From = coding::DecodingError::Kind;
  Kind kind = Kind::dataCorrupted;
  switch (error.kind) {
    case From::keyNotFound:
      kind = Kind::keyNotFound;
      break;
    case From::valueNotFound:
      kind = Kind::valueNotFound;
      break;
    case From::typeMismatch:
      kind = Kind::typeMismatch;
      break;
    case From::dataCorrupted:
      kind = Kind::dataCorrupted;
      break;
  }
  return {kind, 0, error.codingPath, error.detail, error.place};
}

std::string_view kindName(InputFailure::Kind kind) {
  static constexpr std::array<std::string_view, 7> names{
      "keyNotFound",  "valueNotFound", "typeMismatch", "dataCorrupted",
      "invalidValue", "unavailable",   "usage"};
  return names[static_cast<std::size_t>(kind)];
}

std::string joinedPath(const coding::CodingPath& path) {
  std::string text;
  for (const auto& part : path) {
    if (!text.empty()) text += '.';
    text += part;
  }
  return text;
}

std::string InputFailure::description() const {
  std::string text;
  if (line > 0) text += "line " + std::to_string(line) + ": ";
  text += kindName(kind);
  text += ": ";
  if (!path.empty()) text += "\"" + joinedPath(path) + "\": ";
  return text + detail;
}

}  // namespace host
