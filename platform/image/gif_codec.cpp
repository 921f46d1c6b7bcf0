#include "platform/image/codecs.hpp"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace image::detail {
namespace {

struct Reader {
  std::span<const std::uint8_t> data;
  std::size_t offset = 0;
};

// giflib treats a short read as the end of the file, which is what a truncated file is.
int readFromMemory(GifFileType* gif, GifByteType* out, int length) {
  auto* reader = static_cast<Reader*>(gif->UserData);
  if (length <= 0) return 0;
  const std::size_t count =
      std::min(static_cast<std::size_t>(length), reader->data.size() - reader->offset);
  std::memcpy(out, reader->data.data() + reader->offset, count);
  reader->offset += count;
  return static_cast<int>(count);
}

struct GifDeleter {
  void operator()(GifFileType* gif) const noexcept {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};

// Reads the sub-blocks of an extension to their terminator, remembering the transparent colour
// of a Graphics Control Extension. A malformed one only loses its transparency.
bool readExtension(GifFileType* gif, int& transparentIndex) {
  int code = 0;
  GifByteType* block = nullptr;
  if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
  if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr) {
    GraphicsControlBlock control{};
    transparentIndex = DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK
                           ? control.TransparentColor
                           : NO_TRANSPARENT_COLOR;
  }
  while (block != nullptr) {
    if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
  }
  return true;
}

// Passes of an interlaced frame: first row and row step of each.
constexpr std::array<std::pair<int, int>, 4> interlacePasses = {{{0, 8}, {4, 8}, {2, 4}, {1, 2}}};

// Decodes the current frame and paints it onto the canvas. Pixels that are transparent, or whose
// index lies beyond the colour map, leave the canvas as it is (transparent).
bool paintFrame(GifFileType* gif, int transparentIndex, Decoded& canvas) {
  const GifImageDesc& frame = gif->Image;
  const ColorMapObject* colors = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
  if (colors == nullptr || colors->Colors == nullptr) return false;

  std::vector<GifPixelType> line(static_cast<std::size_t>(frame.Width));
  auto paintRow = [&](int row) {
    if (DGifGetLine(gif, line.data(), frame.Width) == GIF_ERROR) return false;
    std::uint8_t* out = canvas.rgba.data() +
                        (static_cast<std::size_t>(frame.Top + row) * canvas.width + frame.Left) * 4;
    for (int x = 0; x < frame.Width; ++x, out += 4) {
      const int index = line[static_cast<std::size_t>(x)];
      if (index == transparentIndex || index >= colors->ColorCount) continue;
      const GifColorType& color = colors->Colors[index];
      out[0] = color.Red;
      out[1] = color.Green;
      out[2] = color.Blue;
      out[3] = 0xff;
    }
    return true;
  };

  if (frame.Interlace) {
    for (const auto& [first, step] : interlacePasses) {
      for (int row = first; row < frame.Height; row += step) {
        if (!paintRow(row)) return false;
      }
    }
  } else {
    for (int row = 0; row < frame.Height; ++row) {
      if (!paintRow(row)) return false;
    }
  }
  return true;
}

// Walks the records after the first frame up to the trailer without decoding them, so that a file
// cut short anywhere gives no image.
bool skipToTrailer(GifFileType* gif) {
  for (;;) {
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif, &record) == GIF_ERROR) return false;
    switch (record) {
      case TERMINATE_RECORD_TYPE:
        return true;
      case EXTENSION_RECORD_TYPE: {
        int ignored = NO_TRANSPARENT_COLOR;
        if (!readExtension(gif, ignored)) return false;
        break;
      }
      case IMAGE_DESC_RECORD_TYPE: {
        int codeSize = 0;
        GifByteType* block = nullptr;
        if (DGifGetImageHeader(gif) == GIF_ERROR ||
            DGifGetCode(gif, &codeSize, &block) == GIF_ERROR)
          return false;
        while (block != nullptr) {
          if (DGifGetCodeNext(gif, &block) == GIF_ERROR) return false;
        }
        break;
      }
      default:
        return false;
    }
  }
}

}  // namespace

// Only the first frame is decoded: an animated GIF shows its first frame, as a still image does.
std::optional<Decoded> decodeGif(std::span<const std::uint8_t> data) {
  Reader reader{data};
  int error = 0;
  std::unique_ptr<GifFileType, GifDeleter> file(DGifOpen(&reader, readFromMemory, &error));
  if (!file) return std::nullopt;
  GifFileType* gif = file.get();
  if (!withinLimits(static_cast<std::uint64_t>(std::max(gif->SWidth, 0)),
                    static_cast<std::uint64_t>(std::max(gif->SHeight, 0))))
    return std::nullopt;

  int transparentIndex = NO_TRANSPARENT_COLOR;
  for (;;) {
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif, &record) == GIF_ERROR) return std::nullopt;
    if (record == EXTENSION_RECORD_TYPE) {
      if (!readExtension(gif, transparentIndex)) return std::nullopt;
      continue;
    }
    // A trailer before any frame (or an unknown record) leaves nothing to show.
    if (record != IMAGE_DESC_RECORD_TYPE) return std::nullopt;
    if (DGifGetImageHeader(gif) == GIF_ERROR) return std::nullopt;
    break;
  }

  // A frame must lie within the logical screen, as the format requires. Browsers that meet a
  // larger first frame grow the screen to fit; we refuse the file instead, because that would
  // let the frame's own size, not the checked screen size, decide how much is decoded.
  const GifImageDesc& frame = gif->Image;
  if (frame.Width <= 0 || frame.Height <= 0 || frame.Left < 0 || frame.Top < 0 ||
      frame.Left + frame.Width > gif->SWidth || frame.Top + frame.Height > gif->SHeight)
    return std::nullopt;

  Decoded canvas{
      static_cast<std::uint32_t>(gif->SWidth), static_cast<std::uint32_t>(gif->SHeight), {}};
  canvas.rgba.resize(std::size_t{canvas.width} * canvas.height * 4);
  if (!paintFrame(gif, transparentIndex, canvas) || !skipToTrailer(gif)) return std::nullopt;
  return canvas;
}

}  // namespace image::detail
