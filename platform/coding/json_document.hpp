#pragma once

#include "platform/coding/decoding_error.hpp"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

namespace coding {

// One value of a document as the keyed decoder sees it.
struct JsonValue {
  enum class Type : std::uint8_t { missing, null, boolean, number, string, array, object };

  Type type = Type::missing;
  // The member's name occurs more than once in its object.
  bool duplicated = false;
  double number = 0;
  // Unescaped UTF-8, valid while the document holds its contents (and a text read in place).
  std::string_view text;
  // Arrays and objects: the handle under which the document keeps them.
  std::uint32_t node = 0;
};

// "an object", "a string", ... as error messages name what they found.
std::string_view describeType(JsonValue::Type type);

// A JSON text read and validated as a whole (RFC 8259: UTF-8, no lone surrogates, no comments, no
// trailing content, nesting at most maxDepth). Reusable: each read replaces the previous contents.
class JsonDocument {
 public:
  static constexpr std::size_t maxDepth = 512;
  // What one document may be; the reader's memory grows with the text, so it has a ceiling.
  static constexpr std::size_t maxBytes = std::size_t{64} << 20;

  JsonDocument();
  ~JsonDocument();
  JsonDocument(JsonDocument&&) noexcept;
  JsonDocument& operator=(JsonDocument&&) noexcept;

  // How many readable bytes past the end of a text let the reader read it where it lies; their
  // values do not matter. With fewer, the text is first copied into a padded buffer.
  static constexpr std::size_t readAhead = 64;

  // dataCorrupted with the line and column of the first fault, or naming the member whose number
  // lies outside the range of a double. `readableAfterEnd` is how many bytes past the end of the
  // text belong to the same allocation (a string's spare capacity).
  std::optional<DecodingError> read(std::string_view json, std::size_t readableAfterEnd = 0);

  JsonValue root() const;

  // For each name, the object's member of that name (compared after unescaping, then under
  // canonical equivalence); a name the object lacks leaves its value as it was, which should be
  // a default (missing) value.
  void lookUp(std::uint32_t objectNode, std::span<const std::string_view> names,
              std::span<JsonValue> values) const;

  // A member found by name without copying its value: where the document keeps the value (null
  // when the object lacks the name), and whether the name occurs more than once.
  struct Found {
    const JsonValue* value = nullptr;
    bool duplicated = false;
  };

  // lookUp for readers that keep many members: the values stay in the document, valid while it
  // holds its current contents. `found` should start as default values.
  void find(std::uint32_t objectNode, std::span<const std::string_view> names,
            std::span<Found> found) const;

  // Every member of an object, in document order.
  void forEachMember(std::uint32_t objectNode,
                     const std::function<void(std::string_view, const JsonValue&)>& visit) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Where the member a coding path names lies in a text that reads without a fault: from its name
// to the end of its value, the later one when its object holds the name twice (the one a reader
// refuses). When the text lacks it (a key not found), the nearest member around it that the text
// holds, up to the whole document. Slow (a scan of the text): for reporting a failure only.
std::optional<TextPlace> placeOfMember(std::string_view json, CodingPath path);

}  // namespace coding
