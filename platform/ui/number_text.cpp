#include "platform/ui/number_text.hpp"

#include "platform/coding/json_writer.hpp"

#include <charconv>

namespace ui {

std::string numberText(double value) {
  char buffer[32];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, end);
}

std::string quoted(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  coding::JsonWriter(out).string(text);
  return out;
}

}  // namespace ui
