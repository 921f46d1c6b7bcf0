#pragma once

#include <string>
#include <string_view>

namespace coding {

// Compact JSON text, appended to a string the caller owns. The caller checks values first: the
// writer is handed only finite numbers and well-formed UTF-8.
class JsonWriter {
 public:
  explicit JsonWriter(std::string& out) : out_(&out) {}

  void beginObject() { *out_ += '{'; }
  void endObject() { *out_ += '}'; }
  void beginArray() { *out_ += '['; }
  void endArray() { *out_ += ']'; }
  void comma() { *out_ += ','; }
  void colon() { *out_ += ':'; }
  void raw(std::string_view text) { *out_ += text; }
  // UTF-8 as it stands, escaping only what JSON requires: the quote, the backslash and the
  // control characters below U+0020.
  void string(std::string_view text);
  // Shortest text that reads back as the same double; -0 keeps its sign as "-0.0".
  void number(double value);
  void boolean(bool value) { *out_ += value ? "true" : "false"; }
  void null() { *out_ += "null"; }

 private:
  std::string* out_;
};

}  // namespace coding
