#include "platform/coding/json_writer.hpp"

#include <charconv>
#include <cmath>

namespace coding {

void JsonWriter::string(std::string_view text) {
  static constexpr char hex[] = "0123456789abcdef";
  std::string& out = *out_;
  out += '"';
  std::size_t run = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out.append(text.substr(run, i - run));
    run = i + 1;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        out += "\\u00";
        out += hex[c >> 4];
        out += hex[c & 0xf];
    }
  }
  out.append(text.substr(run));
  out += '"';
}

void JsonWriter::number(double value) {
  if (value == 0 && std::signbit(value)) {
    *out_ += "-0.0";
    return;
  }
  char buffer[32];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  out_->append(buffer, end);
}

}  // namespace coding
