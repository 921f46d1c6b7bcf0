#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace ui::render {

// Raw deflate data (no zlib header or checksum) of rows of equal length, made for the pictures we
// draw: large flat runs of one colour and rows equal, or mostly equal, to the row above. Its
// matches are looked for only where such pictures have them, instead of searching chains of
// earlier places as zlib does:
//   - the same bytes as the row above, at the distance of one row;
//   - the same pixel as the one before, at the distance of one pixel;
//   - elsewhere (anti-aliased text), the last place where the same four bytes stood, from a small
//     hash table filled only at literals; failing that, a literal.
// Tokens are gathered into blocks coded with Huffman codes built from their counts (or the fixed
// codes where those come out smaller). What it holds besides its output is bounded by the row
// length and the block size, whatever the picture's size.
class RowDeflater {
 public:
  // `rowBytes`: each row's length as it will be given, filter type byte included.
  // `bytesPerPixel`: the distance at which a run of one pixel repeats.
  RowDeflater(std::size_t rowBytes, std::size_t bytesPerPixel, std::vector<std::uint8_t>& out);
  RowDeflater(const RowDeflater&) = delete;
  RowDeflater& operator=(const RowDeflater&) = delete;
  ~RowDeflater();

  void addRow(std::span<const std::uint8_t> row);
  // Where the next row is kept: a row written here is added without being copied. Valid until
  // the next addRow.
  std::uint8_t* nextRow();
  // Writes the last block; nothing may be added after it.
  void finish();

  // Tokens gathered before a block is written: 256 KB of them.
  static constexpr std::size_t blockTokens = std::size_t{1} << 16;

 private:
  void literal(std::uint8_t byte);
  void match(std::size_t length, std::size_t distance);
  void matches(const std::uint8_t* bytes, std::size_t length, std::size_t distance);
  void writeBlock(bool final);
  void put(std::uint32_t value, int bits);

  std::size_t rowBytes_;
  std::size_t bytesPerPixel_;
  bool rowsMatch_;  // rows are within deflate's reach of one another
  bool havePrevious_ = false;
  // The last rows given, at least deflate's window of them once there are so many; the current
  // row is added at `used_`.
  // Left uninitialised: only bytes written are read.
  std::unique_ptr<std::uint8_t[]> history_;
  std::size_t historyBytes_;
  std::size_t used_ = 0;
  std::uint32_t historyAt_ = 0;  // stream position of history_[0], modulo 2^32
  // Where four bytes were last seen at a literal, by their hash: a stream position modulo 2^32.
  std::vector<std::uint32_t> seen_;
  std::vector<std::uint32_t> tokens_;
  std::vector<std::uint8_t>& out_;
  std::uint64_t bits_ = 0;
  int bitCount_ = 0;
  std::size_t written_ = 0;  // bytes of out_ written; past them, room made for the block
};

}  // namespace ui::render
