// Feeds arbitrary rows to our deflate writer: the first bytes choose the row length and the bytes
// a pixel, the rest are the rows. zlib's inflate must give back exactly the rows given.
#include "platform/ui/render/row_deflater.hpp"

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  // Up to 33,000 bytes a row, so that rows beyond deflate's window come up too.
  const std::size_t rowBytes = 1 + (std::size_t{data[0]} << 8 | data[1]) % 33000;
  const std::size_t bytesPerPixel = 1 + data[2] % 4;
  data += 3;
  size -= 3;
  const std::size_t rows = size / rowBytes;
  std::vector<std::uint8_t> out;
  ui::render::RowDeflater deflater(rowBytes, bytesPerPixel, out);
  for (std::size_t y = 0; y < rows; ++y) deflater.addRow({data + y * rowBytes, rowBytes});
  deflater.finish();

  const std::size_t expected = rows * rowBytes;
  std::vector<std::uint8_t> back(expected + 1);
  z_stream stream{};
  if (inflateInit2(&stream, -15) != Z_OK) std::abort();
  stream.next_in = out.data();
  stream.avail_in = static_cast<uInt>(out.size());
  stream.next_out = back.data();
  stream.avail_out = static_cast<uInt>(back.size());
  const int status = inflate(&stream, Z_FINISH);
  const std::size_t got = back.size() - stream.avail_out;
  inflateEnd(&stream);
  if (status != Z_STREAM_END || stream.avail_in != 0 || got != expected) std::abort();
  if (expected != 0 && std::memcmp(back.data(), data, expected) != 0) std::abort();
  return 0;
}
