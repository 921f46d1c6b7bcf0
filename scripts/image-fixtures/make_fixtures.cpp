// Writes the image fixtures of tests/image/ui_image_test.cpp into the folder given as the only
// argument (scripts/make-image-fixtures builds and runs it).
// The images come from the codecs' own encoders; the damaged and oversized files are those images
// with a header or a chunk rewritten, checksums kept valid wherever the fault is not the checksum,
// so that each file fails for its one reason.
#include <gif_lib.h>
#include <spng.h>
#include <turbojpeg.h>
#include <webp/encode.h>
#include <webp/mux.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Pixels {
  int width;
  int height;
  Bytes rgba;
};

// Every pixel different, with partial alpha, so a decoder that mixes up channels or rows shows.
Pixels pattern(int width, int height) {
  Pixels p{width, height, {}};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      p.rgba.insert(p.rgba.end(), {std::uint8_t(x * 40), std::uint8_t(y * 60),
                                   std::uint8_t(200 - x * 20), std::uint8_t(255 - (x + y) * 30)});
  return p;
}

// Opaque, red on the left half and blue on the right: lossy codecs keep such colours close.
Pixels halves(int side) {
  Pixels p{side, side, {}};
  for (int i = 0; i < side * side; ++i) {
    const bool left = i % side < side / 2;
    p.rgba.insert(p.rgba.end(),
                  {std::uint8_t(left ? 250 : 10), 20, std::uint8_t(left ? 30 : 240), 255});
  }
  return p;
}

// `raw` is in the file's own layout: samples of the colour type, rows without filter bytes.
Bytes png(std::uint32_t width, std::uint32_t height, const Bytes& raw,
          std::uint8_t colorType = SPNG_COLOR_TYPE_TRUECOLOR_ALPHA, std::uint8_t depth = 8,
          const std::vector<spng_plte_entry>& palette = {},
          std::optional<spng_trns> transparency = {}) {
  spng_ctx* ctx = spng_ctx_new(SPNG_CTX_ENCODER);
  spng_set_option(ctx, SPNG_ENCODE_TO_BUFFER, 1);
  spng_ihdr ihdr{width, height, depth, colorType, 0, 0, 0};
  spng_set_ihdr(ctx, &ihdr);
  if (!palette.empty()) {
    spng_plte plte{};
    plte.n_entries = static_cast<std::uint32_t>(palette.size());
    std::memcpy(plte.entries, palette.data(), palette.size() * sizeof palette[0]);
    spng_set_plte(ctx, &plte);
  }
  if (transparency) spng_set_trns(ctx, &*transparency);
  if (spng_encode_image(ctx, raw.data(), raw.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE) != 0)
    std::abort();
  std::size_t length = 0;
  int error = 0;
  auto* buffer = static_cast<std::uint8_t*>(spng_get_png_buffer(ctx, &length, &error));
  Bytes out(buffer, buffer + length);
  std::free(buffer);
  spng_ctx_free(ctx);
  return out;
}

Bytes png(const Pixels& p) {
  return png(p.width, p.height, p.rgba);
}

Bytes jpeg(const Pixels& p, int subsampling = TJSAMP_444) {
  tjhandle handle = tjInitCompress();
  unsigned char* buffer = nullptr;
  unsigned long length = 0;
  if (tjCompress2(handle, p.rgba.data(), p.width, 0, p.height, TJPF_RGBA, &buffer, &length,
                  subsampling, 95, 0) != 0)
    std::abort();
  Bytes out(buffer, buffer + length);
  tjFree(buffer);
  tjDestroy(handle);
  return out;
}

Bytes webp(const Pixels& p, bool lossless) {
  std::uint8_t* buffer = nullptr;
  const std::size_t length =
      lossless ? WebPEncodeLosslessRGBA(p.rgba.data(), p.width, p.height, p.width * 4, &buffer)
               : WebPEncodeRGBA(p.rgba.data(), p.width, p.height, p.width * 4, 90, &buffer);
  Bytes out(buffer, buffer + length);
  WebPFree(buffer);
  return out;
}

// Two frames: the animation encoder turns a single frame into a still image.
Bytes animatedWebp(const Pixels& p) {
  WebPAnimEncoderOptions options;
  WebPAnimEncoderOptionsInit(&options);
  WebPAnimEncoder* encoder = WebPAnimEncoderNew(p.width, p.height, &options);
  WebPConfig config;
  WebPConfigInit(&config);
  config.lossless = 1;
  for (int frame = 0; frame < 2; ++frame) {
    WebPPicture picture;
    WebPPictureInit(&picture);
    picture.use_argb = 1;
    picture.width = p.width;
    picture.height = p.height;
    Pixels shown = p;
    shown.rgba[0] ^= static_cast<std::uint8_t>(frame * 0xff);
    WebPPictureImportRGBA(&picture, shown.rgba.data(), p.width * 4);
    WebPAnimEncoderAdd(encoder, &picture, frame * 100, &config);
    WebPPictureFree(&picture);
  }
  WebPAnimEncoderAdd(encoder, nullptr, 200, nullptr);
  WebPData data;
  WebPDataInit(&data);
  WebPAnimEncoderAssemble(encoder, &data);
  Bytes out(data.bytes, data.bytes + data.size);
  WebPDataClear(&data);
  WebPAnimEncoderDelete(encoder);
  return out;
}

struct GifFrame {
  int left, top, width, height;
  bool interlaced;
  std::vector<GifColorType> localColors;  // empty: the global map
  Bytes indices;                          // row-major, width * height
};

struct Gif {
  int width, height;
  std::vector<GifColorType> globalColors;
  int transparentIndex;
  std::vector<GifFrame> frames;
};

int append(GifFileType* gif, const GifByteType* data, int length) {
  auto* out = static_cast<Bytes*>(gif->UserData);
  out->insert(out->end(), data, data + length);
  return length;
}

Bytes gif(const Gif& file) {
  Bytes out;
  int error = 0;
  GifFileType* g = EGifOpen(&out, append, &error);
  EGifSetGifVersion(g, true);
  auto map = [](const std::vector<GifColorType>& colors) {
    return colors.empty() ? nullptr : GifMakeMapObject(int(colors.size()), colors.data());
  };
  ColorMapObject* global = map(file.globalColors);
  EGifPutScreenDesc(g, file.width, file.height, 8, 0, global);
  GifFreeMapObject(global);
  for (const GifFrame& frame : file.frames) {
    if (file.transparentIndex != NO_TRANSPARENT_COLOR) {
      GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, file.transparentIndex};
      GifByteType extension[4];
      EGifGCBToExtension(&control, extension);
      EGifPutExtension(g, GRAPHICS_EXT_FUNC_CODE, 4, extension);
    }
    ColorMapObject* local = map(frame.localColors);
    EGifPutImageDesc(g, frame.left, frame.top, frame.width, frame.height, frame.interlaced, local);
    GifFreeMapObject(local);
    std::vector<int> rows;  // in the order the file stores them
    for (auto [first, step] : frame.interlaced
                                  ? std::vector<std::pair<int, int>>{{0, 8}, {4, 8}, {2, 4}, {1, 2}}
                                  : std::vector<std::pair<int, int>>{{0, 1}})
      for (int row = first; row < frame.height; row += step) rows.push_back(row);
    for (int row : rows)
      EGifPutLine(g, const_cast<GifPixelType*>(&frame.indices[std::size_t(row * frame.width)]),
                  frame.width);
  }
  EGifCloseFile(g, &error);
  return out;
}

const std::vector<GifColorType> fourColors = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {9, 9, 9}};

// A 4 x 3 screen filled by one frame, index 3 transparent.
Gif tinyGif() {
  return {4, 3, fourColors, 3, {{0, 0, 4, 3, false, {}, {0, 1, 2, 3, 1, 2, 3, 0, 2, 3, 0, 1}}}};
}

Gif solidGif(int width, int height) {
  return {width,
          height,
          fourColors,
          NO_TRANSPARENT_COLOR,
          {{0, 0, width, height, false, {}, Bytes(std::size_t(width) * height, 1)}}};
}

// --- Rewriting headers ---

Bytes put(Bytes file, std::size_t at, std::initializer_list<std::uint8_t> bytes) {
  std::copy(bytes.begin(), bytes.end(), file.begin() + long(at));
  return file;
}
Bytes flip(Bytes file, std::size_t at) {
  file.at(at) ^= 1;
  return file;
}
Bytes putBe32(Bytes file, std::size_t at, std::uint32_t v) {
  return put(std::move(file), at,
             {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)});
}
Bytes putLe16(Bytes file, std::size_t at, int v) {
  return put(std::move(file), at, {std::uint8_t(v), std::uint8_t(v >> 8)});
}
std::uint32_t be32At(const Bytes& b, std::size_t at) {
  return std::uint32_t(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}

Bytes pngChunk(const char* type, const Bytes& data, bool badChecksum = false) {
  Bytes chunk = putBe32(Bytes(8), 0, std::uint32_t(data.size()));
  std::memcpy(&chunk[4], type, 4);
  chunk.insert(chunk.end(), data.begin(), data.end());
  const auto crc = std::uint32_t(crc32(0, &chunk[4], uInt(4 + data.size()))) ^ badChecksum;
  chunk.resize(chunk.size() + 4);
  return putBe32(std::move(chunk), 8 + data.size(), crc);
}

// Offset of the length field of the first chunk of this type.
std::size_t pngChunkAt(const Bytes& file, const char* type) {
  std::size_t at = 8;
  while (std::memcmp(&file.at(at + 4), type, 4) != 0) at += 12 + be32At(file, at);
  return at;
}

Bytes insertAt(Bytes file, std::size_t at, const Bytes& insert) {
  file.insert(file.begin() + long(at), insert.begin(), insert.end());
  return file;
}

Bytes pngSize(Bytes file, std::uint32_t width, std::uint32_t height) {
  file = putBe32(putBe32(std::move(file), 16, width), 20, height);
  return putBe32(file, 29, std::uint32_t(crc32(0, &file[12], 17)));
}

// Offset of the baseline frame header (SOF0).
std::size_t jpegFrameAt(const Bytes& file) {
  std::size_t at = 2;
  while (file.at(at + 1) != 0xc0) at += 2 + (file[at + 2] << 8 | file[at + 3]);
  return at;
}

Bytes jpegSize(Bytes file, int width, int height) {
  const std::size_t at = jpegFrameAt(file);
  return put(std::move(file), at + 5,
             {std::uint8_t(height >> 8), std::uint8_t(height), std::uint8_t(width >> 8),
              std::uint8_t(width)});
}

// Offset of the first image descriptor (its ',' separator), after the global map and extensions.
std::size_t gifFrameAt(const Bytes& file) {
  std::size_t at = 13 + ((file[10] & 0x80) ? 3u << ((file[10] & 7) + 1) : 0u);
  while (file.at(at) == '!') {
    for (at += 2; file.at(at) != 0;) at += 1 + file[at];
    ++at;
  }
  return at;
}

Bytes gifScreen(Bytes file, int width, int height) {
  return putLe16(putLe16(std::move(file), 6, width), 8, height);
}

Bytes gifFrame(Bytes file, int left, int top, int width, int height) {
  const std::size_t at = gifFrameAt(file);
  return putLe16(
      putLe16(putLe16(putLe16(std::move(file), at + 1, left), at + 3, top), at + 5, width), at + 7,
      height);
}

void write(const std::filesystem::path& folder, const std::string& name, const Bytes& bytes) {
  std::ofstream(folder / name, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_image_fixtures FOLDER\n";
    return 2;
  }
  const std::filesystem::path out = argv[1];
  auto save = [&](const std::string& name, const Bytes& bytes) { write(out, name, bytes); };

  // Read as they are, each with a few of its pixels checked.
  const Pixels rgba = pattern(3, 2);
  save("rgba.png", png(rgba));
  spng_trns paletteAlpha{};  // the second entry half transparent
  paletteAlpha.n_type3_entries = 2;
  paletteAlpha.type3_alpha[0] = 255;
  paletteAlpha.type3_alpha[1] = 128;
  save("palette-trns.png", png(2, 1, {0, 1}, SPNG_COLOR_TYPE_INDEXED, 8,
                               {{10, 20, 30, 0}, {200, 100, 50, 0}}, paletteAlpha));
  spng_trns greyKey{};  // grey 7 keyed out
  greyKey.gray = 7;
  save("grey-key.png", png(2, 1, {7, 8}, SPNG_COLOR_TYPE_GRAYSCALE, 8, {}, greyKey));
  save("halves.jpg", jpeg(halves(16)));
  save("halves-grey.jpg", jpeg(halves(16), TJSAMP_GRAY));
  save("transparent-index.gif", gif(tinyGif()));
  GifFrame frame{1, 2, 3, 9, true, fourColors, {}};  // interlaced, inside a 5 x 12 screen
  for (int row = 0; row < 9; ++row) frame.indices.insert(frame.indices.end(), 3, row % 3);
  save("interlaced-frame.gif", gif({5, 12, {}, NO_TRANSPARENT_COLOR, {frame}}));
  save("rgba-lossless.webp", webp(rgba, true));
  save("halves-lossy.webp", webp(halves(16), false));

  // Compared with the ones above.
  Pixels changed = rgba;
  changed.rgba[5] ^= 1;
  save("rgba-one-bit-changed.png", png(changed));
  save("rgba-as-2x3.png", png(2, 3, rgba.rgba));
  Gif twoFrames = tinyGif();
  twoFrames.frames.push_back({0, 0, 4, 3, false, {}, Bytes(12, 2)});
  save("two-frames.gif", gif(twoFrames));

  // Damaged.
  const Bytes rgbaPng = png(rgba);
  const std::size_t idat = pngChunkAt(rgbaPng, "IDAT");
  save("bad-ihdr-checksum.png", flip(rgbaPng, 29));
  save("bad-idat-data.png", flip(rgbaPng, idat + 10));
  save("bad-iend-checksum.png", flip(rgbaPng, rgbaPng.size() - 1));
  save("bad-text-checksum.png", insertAt(rgbaPng, idat, pngChunk("tEXt", {'k', 0, 'v'}, true)));
  save("unknown-critical-chunk.png", insertAt(rgbaPng, idat, pngChunk("ABCD", {1, 2})));
  save("no-idat.png",
       insertAt(Bytes(rgbaPng.begin(), rgbaPng.begin() + long(idat)), idat, pngChunk("IEND", {})));
  const Bytes jpeg8 = jpeg(pattern(8, 8));
  save("lossless-coding.jpg", put(jpeg8, jpegFrameAt(jpeg8) + 1, {0xc3}));
  Gif noColours = tinyGif();
  noColours.globalColors.clear();
  save("no-colour-map.gif", gif(noColours));
  Gif noFrame = tinyGif();
  noFrame.frames.clear();
  save("no-frame.gif", gif(noFrame));
  const Bytes tinyGifFile = gif(tinyGif());
  save("unknown-record.gif", insertAt(tinyGifFile, gifFrameAt(tinyGifFile), {'x'}));
  const Bytes rgbaWebp = webp(rgba, true);
  save("riff-size-beyond-file.webp", flip(rgbaWebp, 7));
  save("unknown-chunk.webp", put(rgbaWebp, 12, {'X'}));
  save("wave.riff", put(rgbaWebp, 8, {'W', 'A', 'V', 'E'}));
  save("animated.webp", animatedWebp(rgba));

  // A GIF frame must lie within its screen.
  const Bytes eight = gif(solidGif(8, 8));
  save("frame-8x8.gif", eight);
  save("frame-larger-than-screen.gif", gifScreen(eight, 4, 4));
  save("frame-wider-than-screen.gif", gifScreen(eight, 7, 8));
  save("frame-past-right-edge.gif", gifFrame(eight, 1, 0, 8, 8));
  save("frame-past-bottom-edge.gif", gifFrame(eight, 0, 1, 8, 8));
  save("frame-far-outside.gif", gifFrame(eight, 65535, 65535, 8, 8));
  save("frame-of-no-width.gif", gifFrame(eight, 0, 0, 0, 8));
  save("screen-of-no-height.gif", gifScreen(eight, 8, 0));

  // Headers that claim far more than the limits allow.
  save("huge-60000x60000.png", pngSize(rgbaPng, 60000, 60000));
  save("huge-60000x1.png", pngSize(rgbaPng, 60000, 1));
  save("huge-2pow31x1.png", pngSize(rgbaPng, 0x80000000u, 1));
  save("huge-60000x60000.jpg", jpegSize(jpeg8, 60000, 60000));
  save("huge-screen-and-frame.gif",
       gifFrame(gifScreen(tinyGifFile, 60000, 60000), 0, 0, 60000, 60000));
  save("huge-frame-on-small-screen.gif", gifFrame(tinyGifFile, 0, 0, 60000, 60000));
  // A lossy WebP with alpha is a VP8X file, whose canvas is 24 bits a side, less one.
  save("huge-canvas.webp", put(webp(rgba, false), 24, {0x5f, 0xea, 0, 0x5f, 0xea, 0}));
  // A lossless one holds 14 bits a side, less one, in the VP8L header.
  std::uint32_t bits =
      rgbaWebp[21] | rgbaWebp[22] << 8 | rgbaWebp[23] << 16 | std::uint32_t(rgbaWebp[24]) << 24;
  bits = (bits & 0xf0000000u) | 16382u | 16382u << 14;
  save("huge-lossless-16383.webp", put(rgbaWebp, 21,
                                       {std::uint8_t(bits), std::uint8_t(bits >> 8),
                                        std::uint8_t(bits >> 16), std::uint8_t(bits >> 24)}));

  // Sides at the limit and one beyond, flat so the files stay small.
  save("side-4096x4096.png", png(4096, 4096, Bytes(512 * 4096, 0), SPNG_COLOR_TYPE_GRAYSCALE, 1));
  save("side-4097x1.png", png(4097, 1, Bytes(4097, 0x80), SPNG_COLOR_TYPE_GRAYSCALE));
  save("side-1x4097.png", png(1, 4097, Bytes(4097, 0x80), SPNG_COLOR_TYPE_GRAYSCALE));
  const Pixels grey4096{4096, 1, Bytes(4096 * 4, 0x80)};
  const Pixels grey4097{4097, 1, Bytes(4097 * 4, 0x80)};
  save("side-4096x1.jpg", jpeg(grey4096, TJSAMP_GRAY));
  save("side-4097x1.jpg", jpeg(grey4097, TJSAMP_GRAY));
  save("side-1x4096.gif", gif(solidGif(1, 4096)));
  save("side-1x4097.gif", gif(solidGif(1, 4097)));
  save("side-4096x1.webp", webp(grey4096, true));
  save("side-4097x1.webp", webp(grey4097, true));
  return 0;
}
