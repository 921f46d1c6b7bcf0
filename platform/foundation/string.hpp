#pragma once

#include <compare>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace foundation {

// Appends the UTF-8 form of a code point (which the caller has checked is a scalar value).
void appendUtf8(std::string& out, char32_t codePoint);

// True when every byte is below 0x80.
bool isAscii(std::string_view text) noexcept;

// True when the bytes form well-formed UTF-8 (no overlongs, no surrogates, nothing past U+10FFFF).
bool isValidUtf8(std::string_view text) noexcept;

// Canonical equivalence (Unicode NFC): identical bytes are equal at once; otherwise both sides are
// compared in their composed form. Ill-formed UTF-8 is equal only to the very same bytes.
bool canonicallyEqual(std::string_view a, std::string_view b);

// The composed (NFC) form. Ill-formed UTF-8 is returned as it stands.
std::string nfc(std::string_view text);

// The full Unicode lowercase mapping of the root locale, whatever the user's locale: U+0130 becomes
// "i" followed by U+0307, and a final sigma becomes U+03C2.
std::string lowercased(std::string_view text);

// Substring search on user-perceived characters: a match counts only where both of its ends fall on
// grapheme cluster boundaries of the text, so "e" is not found in "e" + U+0301. Both sides are
// compared in their composed form. The empty needle is found in every text.
bool contains(std::string_view text, std::string_view needle);

// A Unicode string value that owns its bytes (UTF-8). Equality is canonical equivalence, as
// users expect of text: a precomposed letter equals its decomposed spelling.
class String {
 public:
  String() = default;
  String(std::string bytes) : bytes_(std::move(bytes)) {}
  String(std::string_view bytes) : bytes_(bytes) {}
  String(const char* bytes) : bytes_(bytes) {}
  void assign(std::string_view bytes) { bytes_.assign(bytes); }

  const std::string& str() const noexcept { return bytes_; }
  std::string_view view() const noexcept { return bytes_; }
  operator std::string_view() const noexcept { return bytes_; }
  bool empty() const noexcept { return bytes_.empty(); }
  std::size_t size() const noexcept { return bytes_.size(); }

  String lowercased() const { return String(foundation::lowercased(bytes_)); }
  bool contains(std::string_view needle) const { return foundation::contains(bytes_, needle); }

  friend bool operator==(const String& a, const String& b) {
    return canonicallyEqual(a.bytes_, b.bytes_);
  }

  // The string's own hashing: canonically equivalent strings feed the same bytes.
  template <class H>
  void hashInto(H& hasher) const {
    hasher.combine(std::string_view(bytes_));
  }

 private:
  std::string bytes_;
};

}  // namespace foundation
