#include "platform/ui/render/cairo_renderer.hpp"

#include "platform/ui/render/png_writer.hpp"
#include "platform/ui/render/svg_markup.hpp"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace ui::render {
namespace {

struct SurfaceDeleter {
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextDeleter {
  void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using Context = std::unique_ptr<cairo_t, ContextDeleter>;

// Cairo keeps sizes in ints and refuses surfaces beyond 32767 pixels a side.
constexpr double kMaxPixels = 32767;

int pixels(double points, double scale) {
  const double value = std::ceil(points * scale);
  if (!std::isfinite(value) || value < 1) return 1;
  return static_cast<int>(std::min(value, kMaxPixels));
}

void addPath(cairo_t* cr, const Path& path) {
  cairo_new_path(cr);
  for (const Path::Element& element : path.elements()) {
    if (const auto* m = std::get_if<Path::MoveTo>(&element)) {
      cairo_move_to(cr, m->to.x, m->to.y);
    } else if (const auto* l = std::get_if<Path::LineTo>(&element)) {
      cairo_line_to(cr, l->to.x, l->to.y);
    } else if (const auto* c = std::get_if<Path::CurveTo>(&element)) {
      cairo_curve_to(cr, c->control1.x, c->control1.y, c->control2.x, c->control2.y, c->to.x,
                     c->to.y);
    } else {
      cairo_close_path(cr);
    }
  }
}

void setColor(cairo_t* cr, const RGBA& color) {
  cairo_set_source_rgba(cr, color.red, color.green, color.blue, color.alpha);
}

// Decoded icons hold straight alpha; Cairo wants premultiplied native-endian ARGB.
Surface imageSurface(const image::UIImage& image) {
  const int width = static_cast<int>(image.width());
  const int height = static_cast<int>(image.height());
  Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
  cairo_surface_flush(surface.get());
  unsigned char* data = cairo_image_surface_get_data(surface.get());
  const int stride = cairo_image_surface_get_stride(surface.get());
  const auto rgba = image.rgba();
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
    for (int x = 0; x < width; ++x) {
      const std::uint8_t* p = rgba.data() + (static_cast<std::size_t>(y) * width + x) * 4;
      const std::uint32_t a = p[3];
      const auto premultiply = [a](std::uint32_t c) { return (c * a + 127) / 255; };
      row[x] = (a << 24) | (premultiply(p[0]) << 16) | (premultiply(p[1]) << 8) | premultiply(p[2]);
    }
  }
  cairo_surface_mark_dirty(surface.get());
  return surface;
}

class CairoCanvas final : public Canvas {
 public:
  CairoCanvas(cairo_t* cr, const TextSystem& text) : cr_(cr), text_(text) {}

  void fill(const Path& path, const RGBA& color) override {
    addPath(cr_, path);
    setColor(cr_, color);
    cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
    cairo_fill(cr_);
  }
  void blend(const BlendItem& item) override {
    cairo_save(cr_);
    cairo_set_operator(
        cr_, item.blend == Blend::color ? CAIRO_OPERATOR_HSL_COLOR : CAIRO_OPERATOR_MULTIPLY);
    fill(item.path, item.color);
    cairo_restore(cr_);
  }
  void stroke(const Path& path, const RGBA& color, double width) override {
    addPath(cr_, path);
    setColor(cr_, color);
    cairo_set_line_width(cr_, width);
    cairo_stroke(cr_);
  }
  void text(const TextItem& item) override {
    if (item.text.empty()) return;
    pango_cairo_update_context(cr_, text_.context());
    PangoLayout* layout = text_.createLayout(item.text, item.font);
    const PathPoint origin = layoutOrigin(layout, item);
    cairo_move_to(cr_, origin.x, origin.y);
    setColor(cr_, item.color);
    pango_cairo_show_layout(cr_, layout);
    g_object_unref(layout);
  }
  void image(const ImageItem& item) override {
    if (item.width <= 0 || item.height <= 0) return;
    Surface surface = imageSurface(item.image);
    if (!surface) return;
    cairo_save(cr_);
    cairo_rectangle(cr_, item.x, item.y, item.width, item.height);
    cairo_clip(cr_);
    cairo_translate(cr_, item.x, item.y);
    cairo_scale(cr_, item.width / item.image.width(), item.height / item.image.height());
    cairo_set_source_surface(cr_, surface.get(), 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr_), CAIRO_FILTER_GOOD);
    cairo_pattern_set_extend(cairo_get_source(cr_), CAIRO_EXTEND_PAD);
    cairo_paint(cr_);
    cairo_restore(cr_);
  }
  void pushClip(const Path& path) override {
    cairo_save(cr_);
    addPath(cr_, path);
    cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
    cairo_clip(cr_);
  }
  void popClip() override { cairo_restore(cr_); }

 private:
  cairo_t* cr_;
  const TextSystem& text_;
};

void draw(cairo_surface_t* surface, const DisplayList& list, double scale, const TextSystem& text) {
  Context cr(cairo_create(surface));
  cairo_scale(cr.get(), scale, scale);
  CairoCanvas canvas(cr.get(), text);
  replay(list, canvas);
  cairo_surface_flush(surface);
}

cairo_status_t appendToString(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

double finiteSize(double value) {
  return std::isfinite(value) && value > 0 ? std::min(value, kMaxPixels) : 1;
}

}  // namespace

namespace {

Surface drawnSurface(const DisplayList& list, double scale, const TextSystem& text) {
  const int width = pixels(list.width, scale);
  const int height = pixels(list.height, scale);
  Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
    throw std::runtime_error("cannot create a surface of " + std::to_string(width) + " x " +
                             std::to_string(height) + " pixels");
  }
  draw(surface.get(), list, scale, text);
  return surface;
}

}  // namespace

Bitmap renderBitmap(const DisplayList& list, double scale, const TextSystem& text) {
  const Surface surface = drawnSurface(list, scale, text);
  const int width = cairo_image_surface_get_width(surface.get());
  const int height = cairo_image_surface_get_height(surface.get());
  Bitmap bitmap{width, height,
                std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 4)};
  const unsigned char* data = cairo_image_surface_get_data(surface.get());
  const int stride = cairo_image_surface_get_stride(surface.get());
  for (int y = 0; y < height; ++y) {
    const auto* row =
        reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
    std::uint8_t* out = bitmap.rgba.data() + static_cast<std::size_t>(y) * width * 4;
    for (int x = 0; x < width; ++x) {
      const std::uint32_t pixel = row[x];
      const std::uint32_t a = pixel >> 24;
      if (a == 255) {  // most pixels: nothing to undo
        out[x * 4 + 0] = static_cast<std::uint8_t>(pixel >> 16);
        out[x * 4 + 1] = static_cast<std::uint8_t>(pixel >> 8);
        out[x * 4 + 2] = static_cast<std::uint8_t>(pixel);
        out[x * 4 + 3] = 255;
        continue;
      }
      const auto unpremultiply = [a](std::uint32_t c) -> std::uint8_t {
        return a == 0
                   ? 0
                   : static_cast<std::uint8_t>(std::min<std::uint32_t>(255, (c * 255 + a / 2) / a));
      };
      out[x * 4 + 0] = unpremultiply((pixel >> 16) & 0xff);
      out[x * 4 + 1] = unpremultiply((pixel >> 8) & 0xff);
      out[x * 4 + 2] = unpremultiply(pixel & 0xff);
      out[x * 4 + 3] = static_cast<std::uint8_t>(a);
    }
  }
  return bitmap;
}

// SVG and PDF have no blend that keeps luminance (Night Mode's tint), so Cairo draws what such a
// blend covers as an image, by default at 300 pixels an inch: a whole StandBy screen then costs
// over a hundred megabytes. Twice the points is as sharp as the PNGs.
void vectorFallback(cairo_surface_t* surface) {
  cairo_surface_set_fallback_resolution(surface, 144, 144);
}

std::vector<std::uint8_t> encodePNG(const Bitmap& bitmap) {
  return writePNG(bitmap.width, bitmap.height, bitmap.rgba);
}

// Encoded from the surface where Cairo drew it: a straight-alpha copy of the picture would cost
// as much again in memory (a sheet of every surface is 26 MB a copy) and a pass over every pixel.
std::vector<std::uint8_t> renderPNG(const DisplayList& list, double scale, const TextSystem& text) {
  const Surface surface = drawnSurface(list, scale, text);
  const int width = cairo_image_surface_get_width(surface.get());
  const int height = cairo_image_surface_get_height(surface.get());
  const int stride = cairo_image_surface_get_stride(surface.get());
  // Cairo aligns rows to 4 bytes, so ARGB32 rows are never padded.
  if (stride != width * 4) throw std::runtime_error("the surface's rows are padded");
  const unsigned char* data = cairo_image_surface_get_data(surface.get());
  return writePNG(width, height,
                  {data, static_cast<std::size_t>(stride) * static_cast<std::size_t>(height)},
                  PixelLayout::premultipliedArgb32);
}

std::string renderSVG(const DisplayList& list, const TextSystem& text) {
  std::string out;
  Surface surface(cairo_svg_surface_create_for_stream(appendToString, &out, finiteSize(list.width),
                                                      finiteSize(list.height)));
  vectorFallback(surface.get());
  draw(surface.get(), list, 1, text);
  cairo_surface_finish(surface.get());
  return oneClipEach(out);
}

std::vector<std::uint8_t> renderPDF(const DisplayList& list, const TextSystem& text) {
  std::string out;
  Surface surface(cairo_pdf_surface_create_for_stream(appendToString, &out, finiteSize(list.width),
                                                      finiteSize(list.height)));
  vectorFallback(surface.get());
  draw(surface.get(), list, 1, text);
  cairo_surface_finish(surface.get());
  return std::vector<std::uint8_t>(out.begin(), out.end());
}

}  // namespace ui::render
