#pragma once

#include <string>
#include <string_view>

namespace coding {

// JSON text, appended to a string the caller owns: compact, or with a space after each comma and
// colon for what people read. The caller checks values first: the writer is handed only finite
// numbers and well-formed UTF-8.
class JsonWriter {
 public:
  enum class Style { compact, spaced };

  explicit JsonWriter(std::string& out, Style style = Style::compact)
      : out_(&out), spaced_(style == Style::spaced) {}

  void beginObject() { *out_ += '{'; }
  void endObject() { *out_ += '}'; }
  void beginArray() { *out_ += '['; }
  void endArray() { *out_ += ']'; }
  void comma() { *out_ += spaced_ ? ", " : ","; }
  void colon() { *out_ += spaced_ ? ": " : ":"; }
  void raw(std::string_view text) { *out_ += text; }
  // UTF-8 as it stands, escaping only what JSON requires: the quote, the backslash and the
  // control characters below U+0020.
  void string(std::string_view text);
  // Shortest text that reads back as the same double; -0 keeps its sign as "-0.0".
  void number(double value);
  void boolean(bool value) { *out_ += value ? "true" : "false"; }
  void null() { *out_ += "null"; }

  // How much has been written, for callers that measure what a value took.
  std::size_t size() const noexcept { return out_->size(); }

 private:
  std::string* out_;
  bool spaced_;
};

}  // namespace coding
