#include "platform/host/serve/common/untrusted_json.hpp"

#include "platform/coding/json_document.hpp"
#include "platform/coding/json_writer.hpp"

namespace host::serve {
namespace {

// The length of the well-formed UTF-8 sequence at the start of `s`, or 0.
std::size_t sequenceLength(std::string_view s) {
  const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char c = b(0);
  if (c < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3;
    if (c == 0xE0) low = 0xA0;
    if (c == 0xED) high = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (s.size() < length || b(1) < low || b(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (b(i) < 0x80 || b(i) > 0xBF) return 0;
  }
  return length;
}

}  // namespace

std::string jsonString(std::string_view bytes) {
  std::string out;
  appendJsonString(out, bytes);
  return out;
}

void appendJsonString(std::string& out, std::string_view bytes) {
  // Most of what the history keeps is valid UTF-8 already, and is escaped as it stands.
  std::string_view rest = bytes;
  while (!rest.empty()) {
    const std::size_t length = sequenceLength(rest);
    if (length == 0) break;
    rest.remove_prefix(length);
  }
  if (rest.empty()) {
    coding::JsonWriter(out).string(bytes);
    return;
  }
  std::string clean(bytes.substr(0, bytes.size() - rest.size()));
  clean.reserve(bytes.size() + 8);
  while (!rest.empty()) {
    const std::size_t length = sequenceLength(rest);
    if (length == 0) {
      clean += "\xEF\xBF\xBD";
      rest.remove_prefix(1);
    } else {
      clean.append(rest.substr(0, length));
      rest.remove_prefix(length);
    }
  }
  coding::JsonWriter(out).string(clean);
}

std::string jsonValueOrString(std::string_view text) {
  coding::JsonDocument document;
  if (!text.empty() && !document.read(text)) return std::string(text);
  return jsonString(text);
}

}  // namespace host::serve
