#include "platform/ui/render/row_deflater.hpp"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using ui::render::RowDeflater;

struct Rows {
  std::size_t rowBytes;
  std::size_t bytesPerPixel;
  std::vector<std::uint8_t> bytes;  // rows one after another
};

std::vector<std::uint8_t> deflated(const Rows& rows) {
  std::vector<std::uint8_t> out{0xaa};  // what the caller wrote before is kept
  RowDeflater deflater(rows.rowBytes, rows.bytesPerPixel, out);
  for (std::size_t at = 0; at < rows.bytes.size(); at += rows.rowBytes) {
    deflater.addRow({rows.bytes.data() + at, rows.rowBytes});
  }
  deflater.finish();
  EXPECT_EQ(out.front(), 0xaa);
  out.erase(out.begin());
  return out;
}

// zlib's inflate, which must end exactly at the end of the data.
std::vector<std::uint8_t> inflated(const std::vector<std::uint8_t>& data, std::size_t expected) {
  z_stream stream{};
  if (inflateInit2(&stream, -15) != Z_OK) return {};
  std::vector<std::uint8_t> out(expected + 1);
  stream.next_in = const_cast<Bytef*>(data.data());
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  const int status = inflate(&stream, Z_FINISH);
  const bool whole = status == Z_STREAM_END && stream.avail_in == 0;
  out.resize(out.size() - stream.avail_out);
  inflateEnd(&stream);
  return whole ? out : std::vector<std::uint8_t>{};
}

Rows make(std::size_t rowBytes, std::size_t bytesPerPixel, std::size_t height,
          const std::function<std::uint8_t(std::size_t x, std::size_t y, const Rows&)>& byte) {
  Rows rows{rowBytes, bytesPerPixel, {}};
  rows.bytes.reserve(rowBytes * height);
  for (std::size_t y = 0; y < height; ++y) {
    for (std::size_t x = 0; x < rowBytes; ++x) rows.bytes.push_back(byte(x, y, rows));
  }
  return rows;
}

// Each case aims at one way of going wrong: matches across the row above or a pixel back, the
// cutting of long runs into deflate's lengths, rows beyond deflate's window, blocks split by the
// token limit, Huffman codes that would be longer than deflate allows, a code of a single symbol.
TEST(RowDeflater, InflatesBackToTheRowsGiven) {
  std::mt19937 random(7);
  const auto noise = [&random](std::size_t, std::size_t, const Rows&) {
    return static_cast<std::uint8_t>(random());
  };
  // Byte values with Fibonacci-like counts, shuffled: a plain Huffman tree would be 20 or more
  // levels deep.
  std::vector<std::uint8_t> skewed;
  for (int value = 0, count = 1, before = 1; value < 24; ++value) {
    skewed.insert(skewed.end(), static_cast<std::size_t>(count),
                  static_cast<std::uint8_t>(value * 10));
    const int next = count + before;
    before = count;
    count = next;
  }
  std::shuffle(skewed.begin(), skewed.end(), random);
  const struct {
    const char* name;
    Rows rows;
  } cases[] = {
      {"one byte", make(1, 1, 1, [](auto, auto, auto&) { return std::uint8_t{9}; })},
      {"one pixel", make(4, 4, 1, noise)},
      {"a column", make(4, 3, 500, noise)},
      {"all one colour", make(3001, 3, 40, [](auto x, auto, auto&) { return x == 0 ? 0 : 200; })},
      {"noise", make(301, 3, 300, noise)},
      {"noise, alpha", make(401, 4, 250, noise)},
      {"runs of every length",
       make(1001, 3, 60,
            [](auto x, auto y, auto&) { return static_cast<std::uint8_t>(x / (y + 1) % 3); })},
      {"rows half equal to the one above", make(997, 4, 80,
                                                [&random](auto x, auto y, const Rows& r) {
                                                  if (y > 0 && x < 600)
                                                    return r.bytes[(y - 1) * r.rowBytes + x];
                                                  return static_cast<std::uint8_t>(random() % 4);
                                                })},
      {"rows wider than the window",
       make(40001, 4, 6,
            [](auto x, auto y, auto&) { return static_cast<std::uint8_t>(x % 7 == 0 ? y : 1); })},
      {"rows exactly the window",
       make(32768, 3, 4, [](auto x, auto, auto&) { return static_cast<std::uint8_t>(x % 5); })},
      {"skewed counts",
       make(skewed.size() / 64, 3, 64,
            [&skewed](auto x, auto y, const Rows& r) { return skewed[y * r.rowBytes + x]; })},
  };
  for (const auto& [name, rows] : cases) {
    const auto data = deflated(rows);
    EXPECT_EQ(inflated(data, rows.bytes.size()), rows.bytes) << name;
  }
}

// A flat picture must come out as a few matches a row, not a byte a byte: the point of the writer.
TEST(RowDeflater, SaysRepeatedRowsAndRunsInAFewBytes) {
  const Rows flat = make(3 * 1179 + 1, 3, 600, [](auto x, auto y, auto&) {
    return static_cast<std::uint8_t>(x == 0 ? 0 : y < 300 ? 240 : 30);
  });
  EXPECT_LT(deflated(flat).size(), 600u * 8);
}

TEST(RowDeflater, RefusesRowsOfAnotherLength) {
  std::vector<std::uint8_t> out;
  RowDeflater deflater(10, 3, out);
  const std::vector<std::uint8_t> row(11);
  EXPECT_THROW(deflater.addRow(row), std::invalid_argument);
  EXPECT_THROW(RowDeflater(0, 3, out), std::invalid_argument);
}

}  // namespace
