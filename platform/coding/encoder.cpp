#include "platform/coding/encoder.hpp"

#include <cmath>

namespace coding::detail {

std::optional<std::string> refuseNumber(double value) {
  if (std::isnan(value)) return "nan is not a valid JSON number";
  if (std::isinf(value)) return value > 0 ? "inf is not a valid JSON number"
                                          : "-inf is not a valid JSON number";
  return std::nullopt;
}

std::optional<std::string> refuseString(std::string_view text) {
  if (!foundation::isValidUtf8(text)) return "the string is not valid UTF-8";
  return std::nullopt;
}

}  // namespace coding::detail
