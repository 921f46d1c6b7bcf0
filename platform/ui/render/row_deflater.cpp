#include "platform/ui/render/row_deflater.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <stdexcept>

namespace ui::render {
namespace {

constexpr std::size_t maxLength = 258;
constexpr std::size_t window = 32768;
constexpr int endOfBlock = 256;
constexpr int litLenSymbols = 286;
constexpr int distanceSymbols = 30;
constexpr int codeLengthSymbols = 19;

// A match at a row's distance costs a far distance code and its ten or more extra bits: below
// four bytes the literals are cheaper.
constexpr std::size_t rowMatchMinimum = 4;
constexpr std::size_t pixelMatchMinimum = 3;
constexpr std::size_t seenMatchMinimum = 4;
constexpr int hashBits = 14;

std::uint32_t hashOf(const std::uint8_t* bytes) {
  std::uint32_t word;
  std::memcpy(&word, bytes, 4);
  return (word * 2654435761u) >> (32 - hashBits);
}

constexpr std::array<std::uint16_t, 29> lengthBase{3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                   15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                   67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> lengthExtra{0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                   2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint16_t, 30> distanceBase{
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<std::uint8_t, 30> distanceExtra{0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                     4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                     9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr std::array<std::uint8_t, codeLengthSymbols> codeLengthOrder{
    16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Code lengths of at most `limit` bits for the symbols' counts; unused symbols get none. The
// caller makes sure that two symbols at least are used, so that every code is complete: zlib's
// inflate refuses an incomplete code-length code.
void codeLengths(const std::uint32_t* counts, int n, int limit, std::uint8_t* lengths) {
  std::array<std::uint16_t, litLenSymbols> symbol;
  int used = 0;
  for (int s = 0; s < n; ++s) {
    lengths[s] = 0;
    if (counts[s] != 0) symbol[used++] = static_cast<std::uint16_t>(s);
  }
  std::sort(symbol.begin(), symbol.begin() + used, [counts](std::uint16_t a, std::uint16_t b) {
    return counts[a] != counts[b] ? counts[a] < counts[b] : a < b;
  });
  // Huffman's tree with two queues: the leaves in ascending order, and the joined nodes, which are
  // made in ascending order too. Node `made` is the parent of the two smallest left.
  std::array<std::uint32_t, litLenSymbols> nodeWeight;
  std::array<std::uint16_t, litLenSymbols> nodeParent;
  std::array<std::uint16_t, litLenSymbols> leafParent;
  if (used < 2) throw std::logic_error("RowDeflater: a code of fewer than two symbols");
  int leaf = 0;
  int node = 0;
  for (int made = 0; made < used - 1; ++made) {
    std::uint32_t sum = 0;
    for (int k = 0; k < 2; ++k) {
      if (leaf < used && (node >= made || counts[symbol[leaf]] <= nodeWeight[node])) {
        sum += counts[symbol[leaf]];
        leafParent[leaf++] = static_cast<std::uint16_t>(made);
      } else {
        sum += nodeWeight[node];
        nodeParent[node++] = static_cast<std::uint16_t>(made);
      }
    }
    nodeWeight[made] = sum;
  }
  // Depths from the root down (a parent is made after its children), counted by length.
  std::array<std::uint16_t, litLenSymbols> depth;
  const int root = used - 2;
  depth[root] = 0;
  for (int k = root - 1; k >= 0; --k) depth[k] = depth[nodeParent[k]] + 1;
  std::array<int, 64> count{};
  for (int k = 0; k < used; ++k) ++count[std::min(depth[leafParent[k]] + 1, 63)];
  // Longer codes than the limit are cut to it and the code made whole again by lengthening the
  // longest codes that can take it, one unit of the Kraft sum at a time.
  for (int bits = limit + 1; bits < 64; ++bits) {
    count[limit] += count[bits];
    count[bits] = 0;
  }
  std::uint32_t total = 0;
  for (int bits = limit; bits > 0; --bits)
    total += static_cast<std::uint32_t>(count[bits]) << (limit - bits);
  while (total > (std::uint32_t{1} << limit)) {
    --count[limit];
    for (int bits = limit - 1; bits > 0; --bits) {
      if (count[bits] != 0) {
        --count[bits];
        count[bits + 1] += 2;
        break;
      }
    }
    --total;
  }
  // The shortest codes to the most frequent symbols.
  int next = used;
  for (int bits = 1; bits <= limit; ++bits) {
    for (int k = count[bits]; k > 0; --k) lengths[symbol[--next]] = static_cast<std::uint8_t>(bits);
  }
}

// Canonical codes for the lengths, bit-reversed: deflate sends Huffman codes from their first bit,
// and the bit writer fills from the lowest bit.
void canonicalCodes(const std::uint8_t* lengths, int n, std::uint16_t* codes) {
  std::array<int, 16> count{};
  for (int s = 0; s < n; ++s) ++count[lengths[s]];
  count[0] = 0;
  std::array<int, 16> next{};
  int code = 0;
  for (int bits = 1; bits < 16; ++bits) {
    code = (code + count[bits - 1]) << 1;
    next[bits] = code;
  }
  for (int s = 0; s < n; ++s) {
    const int bits = lengths[s];
    if (bits == 0) continue;
    unsigned value = static_cast<unsigned>(next[bits]++);
    unsigned reversed = 0;
    for (int k = 0; k < bits; ++k, value >>= 1) reversed = reversed << 1 | (value & 1);
    codes[s] = static_cast<std::uint16_t>(reversed);
  }
}

struct Tables {
  std::array<std::uint8_t, maxLength + 1> lengthCode{};  // by length
  std::array<std::uint8_t, 256> nearDistanceCode{};      // by distance - 1, up to 256
  std::array<std::uint8_t, 256> farDistanceCode{};       // by (distance - 1) / 128, beyond
  std::array<std::uint8_t, 288> fixedLitLenLengths{};
  std::array<std::uint16_t, 288> fixedLitLenCodes{};
  std::array<std::uint8_t, distanceSymbols> fixedDistanceLengths{};
  std::array<std::uint16_t, distanceSymbols> fixedDistanceCodes{};

  Tables() {
    for (int code = 0; code < 29; ++code) {
      const int last = code == 28 ? 258 : code == 27 ? 257 : lengthBase[code + 1] - 1;
      for (int length = lengthBase[code]; length <= last; ++length) {
        lengthCode[length] = static_cast<std::uint8_t>(code);
      }
    }
    for (int code = 0; code < distanceSymbols; ++code) {
      const int first = distanceBase[code];
      const int last = first + (1 << distanceExtra[code]) - 1;
      for (int distance = first; distance <= last; ++distance) {
        if (distance <= 256) {
          nearDistanceCode[distance - 1] = static_cast<std::uint8_t>(code);
        } else {
          farDistanceCode[(distance - 1) >> 7] = static_cast<std::uint8_t>(code);
        }
      }
    }
    for (int s = 0; s < 288; ++s) {
      fixedLitLenLengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
    }
    canonicalCodes(fixedLitLenLengths.data(), 288, fixedLitLenCodes.data());
    fixedDistanceLengths.fill(5);
    canonicalCodes(fixedDistanceLengths.data(), distanceSymbols, fixedDistanceCodes.data());
  }

  int distanceCode(std::size_t distance) const {
    return distance <= 256 ? nearDistanceCode[distance - 1] : farDistanceCode[(distance - 1) >> 7];
  }
};

const Tables& tables() {
  static const Tables value;
  return value;
}

// How many of the first `limit` bytes of a and b agree, eight at a time.
inline std::size_t agreeing(const std::uint8_t* a, const std::uint8_t* b, std::size_t limit) {
  std::size_t k = 0;
  for (; k + 8 <= limit; k += 8) {
    std::uint64_t x;
    std::uint64_t y;
    std::memcpy(&x, a + k, 8);
    std::memcpy(&y, b + k, 8);
    if (x != y) return k + static_cast<std::size_t>(std::countr_zero(x ^ y) >> 3);
  }
  while (k < limit && a[k] == b[k]) ++k;
  return k;
}

// Makes sure two symbols at least have a count, so that the code built from them is complete.
void useTwo(std::uint32_t* counts, int n) {
  int used = static_cast<int>(std::count_if(counts, counts + n, [](std::uint32_t c) { return c; }));
  for (int s = 0; used < 2 && s < n; ++s) {
    if (counts[s] == 0) {
      counts[s] = 1;
      ++used;
    }
  }
}

constexpr std::uint32_t matchToken(std::size_t length, std::size_t distance) {
  return static_cast<std::uint32_t>(length << 16 | distance);
}

}  // namespace

RowDeflater::RowDeflater(std::size_t rowBytes, std::size_t bytesPerPixel,
                         std::vector<std::uint8_t>& out)
    : rowBytes_(rowBytes),
      bytesPerPixel_(bytesPerPixel),
      rowsMatch_(rowBytes <= window),
      // Eight windows' worth: the window kept is copied down once every seven windows' worth.
      history_(new std::uint8_t[8 * window + rowBytes]),
      historyBytes_(8 * window + rowBytes),
      seen_(std::size_t{1} << hashBits),
      out_(out) {
  if (rowBytes == 0 || bytesPerPixel == 0 || bytesPerPixel > window) {
    throw std::invalid_argument("RowDeflater: no row or pixel length");
  }
  tokens_.reserve(blockTokens);
  written_ = out_.size();
}

RowDeflater::~RowDeflater() = default;

void RowDeflater::literal(std::uint8_t byte) {
  tokens_.push_back(byte);
}

void RowDeflater::match(std::size_t length, std::size_t distance) {
  tokens_.push_back(matchToken(length, distance));
}

// A run of `length` bytes found `distance` back, cut into matches that deflate can say.
void RowDeflater::matches(const std::uint8_t* bytes, std::size_t length, std::size_t distance) {
  while (length >= 3) {
    std::size_t part = length;
    if (part > maxLength) part = length - maxLength < 3 ? length - 3 : maxLength;
    match(part, distance);
    bytes += part;
    length -= part;
  }
  for (; length > 0; --length) literal(*bytes++);
}

void RowDeflater::addRow(std::span<const std::uint8_t> row) {
  if (row.size() != rowBytes_) throw std::invalid_argument("RowDeflater: a row of another length");
  const std::size_t n = rowBytes_;
  const std::size_t bpp = bytesPerPixel_;
  std::uint8_t* const current = nextRow();
  const std::uint8_t* const above = current - n;
  if (row.data() != current) std::memcpy(current, row.data(), n);
  const bool up = havePrevious_ && rowsMatch_;
  if (up && std::memcmp(current, above, n) == 0) {
    // A row of one colour is cheaper said a pixel back: a row back costs ten or more extra bits
    // a match.
    const std::size_t lead = 1 + bpp;
    if (n > lead && std::memcmp(current + lead, current + 1, n - lead) == 0) {
      matches(current, lead, n);
      matches(current + lead, n - lead, bpp);
    } else {
      matches(current, n, n);
    }
  } else {
    const std::uint32_t rowAt = historyAt_ + static_cast<std::uint32_t>(used_);
    std::size_t i = 0;
    while (i < n) {
      const std::size_t limit = std::min(n - i, maxLength);
      std::size_t length = 0;
      std::size_t distance = 0;
      if (up) {
        const std::size_t same = agreeing(current + i, above + i, limit);
        if (same >= rowMatchMinimum) {
          length = same;
          distance = n;
        }
      }
      if (length < limit && used_ + i >= bpp) {
        const std::size_t same = agreeing(current + i, current + i - bpp, limit);
        if (same >= pixelMatchMinimum && same >= length) {
          length = same;
          distance = bpp;
        }
      }
      if (length == 0 && i + 4 <= n) {
        std::uint32_t& seen = seen_[hashOf(current + i)];
        const std::uint32_t at = rowAt + static_cast<std::uint32_t>(i);
        // Positions wrap at 2^32; a stale entry is caught by the distance or by the bytes.
        const std::size_t back = at - seen;
        seen = at;
        if (back >= 1 && back <= window && back <= used_ + i) {
          const std::size_t same = agreeing(current + i, current + i - back, limit);
          if (same >= seenMatchMinimum) {
            length = same;
            distance = back;
          }
        }
      }
      if (length != 0) {
        match(length, distance);
        i += length;
      } else {
        literal(current[i]);
        ++i;
      }
      if (tokens_.size() >= blockTokens) writeBlock(false);
    }
  }
  if (tokens_.size() >= blockTokens) writeBlock(false);
  used_ += n;
  havePrevious_ = true;
}

std::uint8_t* RowDeflater::nextRow() {
  if (used_ + rowBytes_ > historyBytes_) {
    const std::size_t keep = std::min(used_, window);
    std::memmove(history_.get(), history_.get() + used_ - keep, keep);
    historyAt_ += static_cast<std::uint32_t>(used_ - keep);
    used_ = keep;
  }
  return history_.get() + used_;
}

void RowDeflater::finish() {
  writeBlock(true);
  while (bitCount_ > 0) {
    out_[written_++] = static_cast<std::uint8_t>(bits_);
    bits_ >>= 8;
    bitCount_ -= 8;
  }
  bitCount_ = 0;
  bits_ = 0;
  out_.resize(written_);
}

void RowDeflater::put(std::uint32_t value, int bits) {
  bits_ |= static_cast<std::uint64_t>(value) << bitCount_;
  bitCount_ += bits;
  if (bitCount_ >= 32) {
    const auto word = static_cast<std::uint32_t>(bits_);
    std::memcpy(out_.data() + written_, &word, 4);
    written_ += 4;
    bits_ >>= 32;
    bitCount_ -= 32;
  }
}

void RowDeflater::writeBlock(bool final) {
  const Tables& t = tables();
  std::array<std::uint32_t, litLenSymbols> litLenCounts{};
  std::array<std::uint32_t, distanceSymbols> distanceCounts{};
  std::uint64_t extraBits = 0;
  for (const std::uint32_t token : tokens_) {
    if (token < 256) {
      ++litLenCounts[token];
      continue;
    }
    const int lengthCode = t.lengthCode[token >> 16];
    const int distanceCode = t.distanceCode(token & 0xffff);
    ++litLenCounts[257 + lengthCode];
    ++distanceCounts[distanceCode];
    extraBits += lengthExtra[lengthCode] + distanceExtra[distanceCode];
  }
  litLenCounts[endOfBlock] = 1;

  std::uint64_t fixedBits = 3 + extraBits;
  for (int s = 0; s < litLenSymbols; ++s)
    fixedBits += std::uint64_t{litLenCounts[s]} * t.fixedLitLenLengths[s];
  for (int s = 0; s < distanceSymbols; ++s) fixedBits += std::uint64_t{distanceCounts[s]} * 5;

  const std::array<std::uint32_t, litLenSymbols> litLenWritten = litLenCounts;
  const std::array<std::uint32_t, distanceSymbols> distanceWritten = distanceCounts;
  // Dynamic codes, and the code lengths that describe them, run-length coded.
  std::array<std::uint8_t, litLenSymbols> litLenLengthArray{};
  std::uint8_t* const litLenLengths = litLenLengthArray.data();
  std::array<std::uint8_t, distanceSymbols> distanceLengths{};
  useTwo(litLenCounts.data(), litLenSymbols);
  useTwo(distanceCounts.data(), distanceSymbols);
  codeLengths(litLenCounts.data(), litLenSymbols, 15, litLenLengths);
  codeLengths(distanceCounts.data(), distanceSymbols, 15, distanceLengths.data());
  int litLenUsed = litLenSymbols;
  while (litLenUsed > 257 && litLenLengths[litLenUsed - 1] == 0) --litLenUsed;
  int distanceUsed = distanceSymbols;
  while (distanceUsed > 1 && distanceLengths[distanceUsed - 1] == 0) --distanceUsed;
  std::array<std::uint8_t, litLenSymbols + distanceSymbols> lengths{};
  std::copy_n(litLenLengths, litLenUsed, lengths.begin());
  std::copy_n(distanceLengths.begin(), distanceUsed, lengths.begin() + litLenUsed);
  const int all = litLenUsed + distanceUsed;

  std::array<std::uint16_t, litLenSymbols + distanceSymbols> described;  // symbol | extra << 5
  int describedCount = 0;
  std::array<std::uint32_t, codeLengthSymbols> codeLengthCounts{};
  const auto describe = [&](int symbol, int extra) {
    described[describedCount++] = static_cast<std::uint16_t>(symbol | extra << 5);
    ++codeLengthCounts[symbol];
  };
  for (int i = 0; i < all;) {
    const std::uint8_t value = lengths[i];
    int run = 1;
    while (i + run < all && lengths[i + run] == value) ++run;
    i += run;
    if (value == 0) {
      for (; run >= 11; run -= std::min(run, 138)) describe(18, std::min(run, 138) - 11);
      if (run >= 3) {
        describe(17, run - 3);
        run = 0;
      }
      for (; run > 0; --run) describe(0, 0);
    } else {
      describe(value, 0);
      --run;
      for (; run >= 3; run -= std::min(run, 6)) describe(16, std::min(run, 6) - 3);
      for (; run > 0; --run) describe(value, 0);
    }
  }
  std::array<std::uint8_t, codeLengthSymbols> codeLengthLengths{};
  useTwo(codeLengthCounts.data(), codeLengthSymbols);
  codeLengths(codeLengthCounts.data(), codeLengthSymbols, 7, codeLengthLengths.data());
  int codeLengthUsed = codeLengthSymbols;
  while (codeLengthUsed > 4 && codeLengthLengths[codeLengthOrder[codeLengthUsed - 1]] == 0) {
    --codeLengthUsed;
  }
  constexpr std::array<int, codeLengthSymbols> describedExtra{0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                              0, 0, 0, 0, 0, 0, 2, 3, 7};
  std::uint64_t dynamicBits =
      3 + 5 + 5 + 4 + 3 * static_cast<std::uint64_t>(codeLengthUsed) + extraBits;
  for (int k = 0; k < describedCount; ++k) {
    const int symbol = described[k] & 31;
    dynamicBits += codeLengthLengths[symbol] + describedExtra[symbol];
  }
  // The counts made up by useTwo are not written, so they are left out here.
  for (int s = 0; s < litLenSymbols; ++s)
    dynamicBits += std::uint64_t{litLenWritten[s]} * litLenLengths[s];
  for (int s = 0; s < distanceSymbols; ++s) {
    dynamicBits += std::uint64_t{distanceWritten[s]} * distanceLengths[s];
  }
  const bool fixed = fixedBits <= dynamicBits;

  // Room for the block and the bits still held, written a word at a time.
  out_.resize(std::max(out_.size(), written_ + (std::min(fixedBits, dynamicBits) + 7) / 8 + 16));

  std::array<std::uint16_t, litLenSymbols> dynamicLitLenCodes{};
  std::array<std::uint16_t, distanceSymbols> dynamicDistanceCodes{};
  const std::uint8_t* litLenBits = t.fixedLitLenLengths.data();
  const std::uint16_t* litLenCodes = t.fixedLitLenCodes.data();
  const std::uint8_t* distanceBits = t.fixedDistanceLengths.data();
  const std::uint16_t* distanceCodes = t.fixedDistanceCodes.data();
  put(final ? 1 : 0, 1);
  if (fixed) {
    put(1, 2);
  } else {
    put(2, 2);
    put(static_cast<std::uint32_t>(litLenUsed - 257), 5);
    put(static_cast<std::uint32_t>(distanceUsed - 1), 5);
    put(static_cast<std::uint32_t>(codeLengthUsed - 4), 4);
    for (int k = 0; k < codeLengthUsed; ++k) put(codeLengthLengths[codeLengthOrder[k]], 3);
    std::array<std::uint16_t, codeLengthSymbols> codeLengthCodes{};
    canonicalCodes(codeLengthLengths.data(), codeLengthSymbols, codeLengthCodes.data());
    for (int k = 0; k < describedCount; ++k) {
      const int symbol = described[k] & 31;
      put(codeLengthCodes[symbol], codeLengthLengths[symbol]);
      if (describedExtra[symbol] != 0) put(described[k] >> 5, describedExtra[symbol]);
    }
    canonicalCodes(litLenLengths, litLenSymbols, dynamicLitLenCodes.data());
    canonicalCodes(distanceLengths.data(), distanceSymbols, dynamicDistanceCodes.data());
    litLenBits = litLenLengths;
    litLenCodes = dynamicLitLenCodes.data();
    distanceBits = distanceLengths.data();
    distanceCodes = dynamicDistanceCodes.data();
  }
  for (const std::uint32_t token : tokens_) {
    if (token < 256) {
      put(litLenCodes[token], litLenBits[token]);
      continue;
    }
    const std::size_t length = token >> 16;
    const std::size_t distance = token & 0xffff;
    const int lengthCode = t.lengthCode[length];
    const int lengthSymbol = 257 + lengthCode;
    put(litLenCodes[lengthSymbol] | static_cast<std::uint32_t>(length - lengthBase[lengthCode])
                                        << litLenBits[lengthSymbol],
        litLenBits[lengthSymbol] + lengthExtra[lengthCode]);
    const int distanceCode = t.distanceCode(distance);
    put(distanceCodes[distanceCode] |
            static_cast<std::uint32_t>(distance - distanceBase[distanceCode])
                << distanceBits[distanceCode],
        distanceBits[distanceCode] + distanceExtra[distanceCode]);
  }
  put(litLenCodes[endOfBlock], litLenBits[endOfBlock]);
  tokens_.clear();
}

}  // namespace ui::render
