#include "platform/foundation/string.hpp"

#include <unicode/brkiter.h>
#include <unicode/bytestream.h>
#include <unicode/casemap.h>
#include <unicode/normalizer2.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace foundation {
namespace {

const icu::Normalizer2& nfcNormalizer() {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* normalizer = icu::Normalizer2::getNFCInstance(status);
  if (U_FAILURE(status) || normalizer == nullptr) {
    throw std::runtime_error("ICU has no NFC data");
  }
  return *normalizer;
}

// Valid UTF-8 only: the caller checks.
bool isNfc(std::string_view text) {
  if (isAscii(text)) return true;
  UErrorCode status = U_ZERO_ERROR;
  const bool normalized = nfcNormalizer().isNormalizedUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())), status);
  return U_SUCCESS(status) && normalized;
}

std::string normalizeValid(std::string_view text) {
  if (isNfc(text)) return std::string(text);
  std::string out;
  out.reserve(text.size());
  icu::StringByteSink<std::string> sink(&out);
  UErrorCode status = U_ZERO_ERROR;
  nfcNormalizer().normalizeUTF8(0, icu::StringPiece(text.data(), static_cast<int32_t>(text.size())),
                                sink, nullptr, status);
  if (U_FAILURE(status)) throw std::runtime_error("ICU failed to normalise a string");
  return out;
}

// ICU's interfaces take 32-bit lengths; longer texts are handled in their own way where it matters.
constexpr std::size_t kIcuMaxLength = 0x7fffffff;

// Grapheme cluster boundaries through ICU; the iterator is expensive to make, so each thread keeps
// one.
class GraphemeBoundaries {
 public:
  explicit GraphemeBoundaries(std::string_view text) {
    thread_local std::unique_ptr<icu::BreakIterator> cached = [] {
      UErrorCode status = U_ZERO_ERROR;
      std::unique_ptr<icu::BreakIterator> it(
          icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
      if (U_FAILURE(status)) throw std::runtime_error("ICU has no grapheme break rules");
      return it;
    }();
    iterator_ = cached.get();
    UErrorCode status = U_ZERO_ERROR;
    text_ = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
    if (U_FAILURE(status)) throw std::runtime_error("ICU cannot open a text");
    iterator_->setText(text_, status);
    if (U_FAILURE(status)) throw std::runtime_error("ICU cannot iterate a text");
  }
  ~GraphemeBoundaries() { utext_close(text_); }
  GraphemeBoundaries(const GraphemeBoundaries&) = delete;
  GraphemeBoundaries& operator=(const GraphemeBoundaries&) = delete;

  bool isBoundary(std::size_t offset) {
    return iterator_->isBoundary(static_cast<int32_t>(offset)) != 0;
  }

 private:
  icu::BreakIterator* iterator_ = nullptr;
  UText* text_ = nullptr;
};

// In ASCII the only cluster of two characters is CR LF.
bool asciiBoundary(std::string_view text, std::size_t offset) {
  return offset == 0 || offset == text.size() || !(text[offset - 1] == '\r' && text[offset] == '\n');
}

}  // namespace

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xc0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3f));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xe0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (cp & 0x3f));
  } else {
    out += static_cast<char>(0xf0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3f));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (cp & 0x3f));
  }
}

bool isAscii(std::string_view text) noexcept {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool isValidUtf8(std::string_view text) noexcept {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const std::size_t length = text.size();
  std::size_t i = 0;
  while (i < length) {
    if (bytes[i] < 0x80) {
      ++i;
      continue;
    }
    // U8_NEXT works on 32-bit offsets; step through the text in windows that respect that.
    const std::size_t window = std::min<std::size_t>(length - i, 4);
    int32_t offset = 0;
    UChar32 c = 0;
    U8_NEXT(bytes + i, offset, static_cast<int32_t>(window), c);
    if (c < 0) return false;
    i += static_cast<std::size_t>(offset);
  }
  return true;
}

bool canonicallyEqual(std::string_view a, std::string_view b) {
  if (a == b) return true;
  if (isAscii(a) && isAscii(b)) return false;
  if (!isValidUtf8(a) || !isValidUtf8(b)) return false;
  if (a.size() > kIcuMaxLength || b.size() > kIcuMaxLength) return false;
  if (isNfc(a) && isNfc(b)) return false;
  return normalizeValid(a) == normalizeValid(b);
}

std::string nfc(std::string_view text) {
  if (isAscii(text) || !isValidUtf8(text) || text.size() > kIcuMaxLength) {
    return std::string(text);
  }
  return normalizeValid(text);
}

std::string lowercased(std::string_view text) {
  if (isAscii(text)) {
    std::string out(text);
    for (char& c : out) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
  }
  if (text.size() > kIcuMaxLength) throw std::length_error("text too long to lowercase");
  std::string out;
  out.reserve(text.size());
  icu::StringByteSink<std::string> sink(&out);
  UErrorCode status = U_ZERO_ERROR;
  // The root locale ("") gives the locale-independent full mapping.
  icu::CaseMap::utf8ToLower("", 0, icu::StringPiece(text.data(), static_cast<int32_t>(text.size())),
                            sink, nullptr, status);
  if (U_FAILURE(status)) throw std::runtime_error("ICU failed to lowercase a string");
  return out;
}

bool contains(std::string_view text, std::string_view needle) {
  if (needle.empty()) return true;
  const bool ascii = isAscii(text) && isAscii(needle);
  std::string composedText;
  std::string composedNeedle;
  if (!ascii) {
    composedText = nfc(text);
    composedNeedle = nfc(needle);
    text = composedText;
    needle = composedNeedle;
  }
  if (needle.size() > text.size()) return false;
  std::size_t from = 0;
  if (ascii) {
    while ((from = text.find(needle, from)) != std::string_view::npos) {
      if (asciiBoundary(text, from) && asciiBoundary(text, from + needle.size())) return true;
      ++from;
    }
    return false;
  }
  if (text.size() > kIcuMaxLength) throw std::length_error("text too long to search");
  std::size_t match = text.find(needle);
  if (match == std::string_view::npos) return false;
  GraphemeBoundaries boundaries(text);
  for (; match != std::string_view::npos; match = text.find(needle, match + 1)) {
    if (boundaries.isBoundary(match) && boundaries.isBoundary(match + needle.size())) return true;
  }
  return false;
}

}  // namespace foundation
