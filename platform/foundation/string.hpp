#pragma once

#include <compare>
#include <cstddef>
#include <cstring>
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
//
// Texts of up to `inlineCapacity` bytes live in the value itself. A record's texts (a status, a
// file name, a line of detail) are nearly all that short, and decoding one would otherwise spend
// about a fifth of its time allocating and freeing them; longer texts (an icon's base64) take one
// allocation of their exact size. The bytes are not followed by a terminating zero.
class String {
 public:
  static constexpr std::size_t inlineCapacity = 64;

  String() noexcept {}
  String(std::string_view bytes) { init(bytes); }
  String(const std::string& bytes) : String(std::string_view(bytes)) {}
  String(const char* bytes) : String(std::string_view(bytes)) {}
  String(const String& other) : String(other.view()) {}
  String(String&& other) noexcept { take(other); }
  String& operator=(const String& other) {
    if (this != &other) assign(other.view());
    return *this;
  }
  String& operator=(String&& other) noexcept {
    if (this != &other) {
      release();
      take(other);
    }
    return *this;
  }
  ~String() { release(); }

  void assign(std::string_view bytes) {
    String copy(bytes);
    *this = std::move(copy);
  }

  std::string str() const { return std::string(view()); }
  std::string_view view() const noexcept { return {data(), size_}; }
  operator std::string_view() const noexcept { return view(); }
  bool empty() const noexcept { return size_ == 0; }
  std::size_t size() const noexcept { return size_; }

  String lowercased() const { return String(foundation::lowercased(view())); }
  bool contains(std::string_view needle) const { return foundation::contains(view(), needle); }

  friend bool operator==(const String& a, const String& b) {
    return canonicallyEqual(a.view(), b.view());
  }

  // The string's own hashing: canonically equivalent strings feed the same bytes.
  template <class H>
  void hashInto(H& hasher) const {
    hasher.combine(view());
  }

 private:
  bool onHeap() const noexcept { return size_ > inlineCapacity; }
  const char* data() const noexcept { return onHeap() ? heap_ : local_; }

  void init(std::string_view bytes) {
    char* target = local_;
    if (bytes.size() > inlineCapacity) target = heap_ = new char[bytes.size()];
    if (!bytes.empty()) std::memcpy(target, bytes.data(), bytes.size());
    size_ = bytes.size();
  }
  // Leaves `other` empty.
  void take(String& other) noexcept {
    if (other.onHeap()) {
      heap_ = other.heap_;
    } else if (other.size_ != 0) {
      std::memcpy(local_, other.local_, other.size_);
    }
    size_ = other.size_;
    other.size_ = 0;
  }
  void release() noexcept {
    if (onHeap()) delete[] heap_;
  }

  std::size_t size_ = 0;
  union {
    char local_[inlineCapacity];
    char* heap_;
  };
};

}  // namespace foundation
