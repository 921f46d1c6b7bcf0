#include "tolvex/presentation/percent_text.hpp"

#include <cmath>
#include <cstdint>

namespace tolvex {

std::string percentText(double progress) {
  // Both tests are ordered comparisons, so NaN fails each: it clamps low to 0 and then, failing
  // the upper test too, reads as complete.
  const double clamped = progress >= 0.0 ? progress : 0.0;
  const double value = progress < 1.0 ? clamped * 100.0 : 100.0;
  // std::round rounds halves away from zero.
  const auto whole = static_cast<std::int64_t>(std::round(value));
  return std::to_string(whole) + "%";
}

}  // namespace tolvex
