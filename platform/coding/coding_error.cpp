#include "platform/coding/decoding_error.hpp"
#include "platform/coding/encoding_error.hpp"

namespace coding {
namespace {

std::string describe(std::string_view kind, const CodingPath& path, const std::string& detail) {
  std::string text(kind);
  text += ": ";
  if (!path.empty()) {
    text += '"';
    for (std::size_t i = 0; i < path.size(); ++i) {
      if (i > 0) text += '.';
      text += path[i];
    }
    text += "\": ";
  }
  text += detail;
  return text;
}

}  // namespace

std::string_view kindName(DecodingError::Kind kind) {
  switch (kind) {
    case DecodingError::Kind::keyNotFound:
      return "keyNotFound";
    case DecodingError::Kind::valueNotFound:
      return "valueNotFound";
    case DecodingError::Kind::typeMismatch:
      return "typeMismatch";
    case DecodingError::Kind::dataCorrupted:
      return "dataCorrupted";
  }
  return "dataCorrupted";
}

std::optional<std::string> DecodingError::key() const {
  if (codingPath.empty()) return std::nullopt;
  return codingPath.back();
}

std::string DecodingError::description() const {
  return describe(kindName(kind), codingPath, detail);
}

std::string EncodingError::description() const {
  return describe("invalidValue", codingPath, detail);
}

}  // namespace coding
