#include "platform/ui/render/svg_writer.hpp"

#include "platform/foundation/base64.hpp"
#include "platform/ui/render/png_writer.hpp"

#include <cairo-ft.h>
#include <cairo-svg.h>
#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <variant>

namespace ui::render {
namespace {

// Hundredths of a point, three hundredths of a pixel at the page's largest scale: most of a
// drawing's bytes are numbers, and the page parses every one.
void number(std::string& out, double value) {
  const double rounded = std::round(value * 100) / 100;
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, rounded == 0 ? 0.0 : rounded).ptr;
  out.append(text, end);
}

// The same of a number already in hundredths, as short as path data allows: "-.5" for -0.5.
void hundredths(std::string& out, std::int64_t value) {
  if (value < 0) out += '-';
  const std::uint64_t magnitude =
      value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  char text[24];
  if (magnitude == 0 || magnitude >= 100) {
    out.append(text, std::to_chars(text, text + sizeof text, magnitude / 100).ptr);
  }
  const auto fraction = static_cast<unsigned>(magnitude % 100);
  if (fraction == 0) return;
  out += '.';
  out += static_cast<char>('0' + fraction / 10);
  if (fraction % 10 != 0) out += static_cast<char>('0' + fraction % 10);
}

// Glyph places in hundredths of a point; far beyond any surface, they are declined.
std::optional<std::int64_t> inHundredths(double value) {
  if (!std::isfinite(value) || std::abs(value) > 1e12) return std::nullopt;
  return std::llround(value * 100);
}

void point(std::string& out, double x, double y) {
  number(out, x);
  out += ' ';
  number(out, y);
}

bool finite(const PathPoint& p) {
  return std::isfinite(p.x) && std::isfinite(p.y);
}

// Path data, or false when a point is not finite.
bool pathData(std::string& out, const Path& path) {
  bool first = true;
  for (const Path::Element& element : path.elements()) {
    if (!first) out += ' ';
    first = false;
    if (const auto* m = std::get_if<Path::MoveTo>(&element)) {
      if (!finite(m->to)) return false;
      out += "M ";
      point(out, m->to.x, m->to.y);
    } else if (const auto* l = std::get_if<Path::LineTo>(&element)) {
      if (!finite(l->to)) return false;
      out += "L ";
      point(out, l->to.x, l->to.y);
    } else if (const auto* c = std::get_if<Path::CurveTo>(&element)) {
      if (!finite(c->control1) || !finite(c->control2) || !finite(c->to)) return false;
      out += "C ";
      point(out, c->control1.x, c->control1.y);
      out += ' ';
      point(out, c->control2.x, c->control2.y);
      out += ' ';
      point(out, c->to.x, c->to.y);
    } else {
      out += 'Z';
    }
  }
  return true;
}

bool finite(const RGBA& color) {
  return std::isfinite(color.red) && std::isfinite(color.green) && std::isfinite(color.blue) &&
         std::isfinite(color.alpha);
}

int channel(double value) {
  return static_cast<int>(std::lround(std::clamp(value, 0.0, 1.0) * 255));
}

// ` fill='rgb(r,g,b)' fill-opacity='a'` with `what` "fill" or "stroke".
void paint(std::string& out, std::string_view what, const RGBA& color) {
  out += ' ';
  out += what;
  out += "='rgb(";
  out += std::to_string(channel(color.red));
  out += ',';
  out += std::to_string(channel(color.green));
  out += ',';
  out += std::to_string(channel(color.blue));
  out += ")'";
  if (color.alpha < 1) {
    out += ' ';
    out += what;
    out += "-opacity='";
    number(out, std::clamp(color.alpha, 0.0, 1.0));
    out += '\'';
  }
}

struct SurfaceDeleter {
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextDeleter {
  void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};

// A glyph's outline, to be written at any place: where its first point lies from the glyph's
// origin, and the rest of it in relative steps from there, all in hundredths of a point. A run of
// glyphs is then one path, each glyph costing two numbers to place. Steps are taken between
// rounded points, so rounding does not add up along an outline.
struct Outline {
  std::int64_t startX = 0;
  std::int64_t startY = 0;
  std::string steps;    // empty for a glyph that draws nothing
  bool colour = false;  // drawn from a bitmap or colour layers: no outline to write
};

bool hasColour(cairo_scaled_font_t* font) {
  if (cairo_scaled_font_get_type(font) != CAIRO_FONT_TYPE_FT) return false;
  FT_Face face = cairo_ft_scaled_font_lock_face(font);
  if (face == nullptr) return false;
  const bool colour = FT_HAS_COLOR(face);
  cairo_ft_scaled_font_unlock_face(font);
  return colour;
}

// The outlines of one scaled font, which is held so that its address names it.
struct FontOutlines {
  cairo_scaled_font_t* font;
  // A colour font's glyphs are all declined, outlines or not: Cairo draws them as images.
  bool colour;
  std::unordered_map<unsigned, Outline> glyphs;

  explicit FontOutlines(cairo_scaled_font_t* f)
      : font(cairo_scaled_font_reference(f)), colour(hasColour(f)) {}
  ~FontOutlines() { cairo_scaled_font_destroy(font); }
  FontOutlines(const FontOutlines&) = delete;
  FontOutlines& operator=(const FontOutlines&) = delete;
};

}  // namespace

struct SvgWriter::Impl {
  const TextSystem& textSystem;
  // Text is laid out against an SVG surface that writes nowhere, as Cairo's SVG is: the same
  // font options give the same glyphs at the same places.
  std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface{
      cairo_svg_surface_create_for_stream(nullptr, nullptr, 1, 1)};
  std::unique_ptr<cairo_t, ContextDeleter> cr{cairo_create(surface.get())};
  std::unordered_map<cairo_scaled_font_t*, std::unique_ptr<FontOutlines>> fonts;
  std::size_t glyphCount = 0;
  // The last image written, by its pixels, which an activity's every drawing repeats.
  std::optional<image::UIImage> lastImage;
  std::string lastImageData;

  std::string out;
  int clips = 0;
  int open = 0;
  bool declined = false;

  explicit Impl(const TextSystem& t) : textSystem(t) {}

  const Outline& outline(cairo_scaled_font_t* font, unsigned glyph) {
    if (glyphCount >= maxGlyphs) {
      fonts.clear();
      glyphCount = 0;
    }
    auto found = fonts.find(font);
    if (found == fonts.end()) {
      found = fonts.emplace(font, std::make_unique<FontOutlines>(font)).first;
    }
    FontOutlines& outlines = *found->second;
    const auto known = outlines.glyphs.find(glyph);
    if (known != outlines.glyphs.end()) return known->second;
    Outline made;
    made.colour = outlines.colour;
    if (!made.colour) {
      cairo_t* c = cr.get();
      cairo_new_path(c);
      cairo_set_scaled_font(c, font);
      const cairo_glyph_t one{glyph, 0, 0};
      cairo_glyph_path(c, &one, 1);
      cairo_path_t* path = cairo_copy_path(c);
      cairo_new_path(c);
      bool started = false;
      std::int64_t x = 0;  // the current point
      std::int64_t y = 0;
      std::int64_t subpathX = 0;  // where a close returns to
      std::int64_t subpathY = 0;
      // A step from (fromX, fromY) to a point, parted from a number before it unless it starts
      // with a minus sign; where it ends.
      const auto step = [&made](const cairo_path_data_t& data, std::int64_t fromX,
                                std::int64_t fromY, bool parted) {
        const std::int64_t toX = std::llround(data.point.x * 100);
        const std::int64_t toY = std::llround(data.point.y * 100);
        if (parted && toX >= fromX) made.steps += ' ';
        hundredths(made.steps, toX - fromX);
        if (toY >= fromY) made.steps += ' ';
        hundredths(made.steps, toY - fromY);
        return std::pair{toX, toY};
      };
      for (int i = 0; path->status == CAIRO_STATUS_SUCCESS && i < path->num_data;
           i += path->data[i].header.length) {
        const cairo_path_data_t* data = &path->data[i];
        switch (data->header.type) {
          case CAIRO_PATH_MOVE_TO:
            if (!started) {
              started = true;
              x = made.startX = std::llround(data[1].point.x * 100);
              y = made.startY = std::llround(data[1].point.y * 100);
            } else if (std::llround(data[1].point.x * 100) != x ||
                       std::llround(data[1].point.y * 100) != y) {
              // Cairo moves back to where a closed outline began, which is where a close leaves
              // the current point already.
              made.steps += 'm';
              std::tie(x, y) = step(data[1], x, y, false);
            }
            subpathX = x;
            subpathY = y;
            break;
          case CAIRO_PATH_LINE_TO:
            made.steps += 'l';
            std::tie(x, y) = step(data[1], x, y, false);
            break;
          case CAIRO_PATH_CURVE_TO:
            // A relative curve's control points are all from its start.
            made.steps += 'c';
            step(data[1], x, y, false);
            step(data[2], x, y, true);
            std::tie(x, y) = step(data[3], x, y, true);
            break;
          case CAIRO_PATH_CLOSE_PATH:
            made.steps += 'z';
            x = subpathX;
            y = subpathY;
            break;
        }
      }
      cairo_path_destroy(path);
      if (!started) made.steps.clear();
    }
    ++glyphCount;
    return outlines.glyphs.emplace(glyph, std::move(made)).first->second;
  }

  void shape(std::string_view element, const Path& path, const RGBA& color, double width) {
    if (path.empty()) return;
    if (!finite(color) || !std::isfinite(width)) {
      declined = true;
      return;
    }
    const std::size_t start = out.size();
    out += "<path";
    if (element == "stroke") {
      out += " fill='none'";
      paint(out, "stroke", color);
      out += " stroke-width='";
      number(out, width);
      // Cairo's miter limit, which SVG's default of 4 would bevel at sharper corners.
      out += "' stroke-miterlimit='10'";
    } else {
      paint(out, "fill", color);
    }
    out += " d='";
    if (!pathData(out, path)) {
      out.resize(start);
      declined = true;
      return;
    }
    out += "'/>";
  }

  void text(const TextItem& item) {
    if (item.text.empty()) return;
    if (!finite(item.color) || !std::isfinite(item.x) || !std::isfinite(item.y) ||
        !std::isfinite(item.lineHeight) || (item.rightEdge && !std::isfinite(*item.rightEdge))) {
      declined = true;
      return;
    }
    pango_cairo_update_context(cr.get(), textSystem.context());
    PangoLayout* layout = textSystem.createLayout(item.text, item.font);
    const auto [x, y] = layoutOrigin(layout, item);
    PangoLayoutIter* iter = pango_layout_get_iter(layout);
    do {
      PangoLayoutRun* run = pango_layout_iter_get_run_readonly(iter);
      if (run == nullptr) continue;  // the end of a line
      PangoRectangle runLogical;
      pango_layout_iter_get_run_extents(iter, nullptr, &runLogical);
      const int baseline = pango_layout_iter_get_baseline(iter);
      cairo_scaled_font_t* font =
          pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(run->item->analysis.font));
      if (font == nullptr) {
        declined = true;
        break;
      }
      // One path a run, in one font: glyphs of different fonts may wind their outlines
      // differently, and overlap where they meet.
      const std::size_t start = out.size();
      out += "<path";
      paint(out, "fill", item.color);
      out += " d='";
      const std::size_t empty = out.size();
      int advance = runLogical.x;
      for (int i = 0; i < run->glyphs->num_glyphs; ++i) {
        const PangoGlyphInfo& glyph = run->glyphs->glyphs[i];
        const int at = advance + glyph.geometry.x_offset;
        advance += glyph.geometry.width;
        if (glyph.glyph == PANGO_GLYPH_EMPTY) continue;
        // Pango draws a box with the character's code for one no font has.
        if ((glyph.glyph & PANGO_GLYPH_UNKNOWN_FLAG) != 0) {
          declined = true;
          break;
        }
        const Outline& shape = outline(font, glyph.glyph);
        const auto originX = inHundredths(x + static_cast<double>(at) / PANGO_SCALE);
        const auto originY =
            inHundredths(y + static_cast<double>(baseline + glyph.geometry.y_offset) / PANGO_SCALE);
        if (shape.colour || !originX || !originY) {
          declined = true;
          break;
        }
        if (shape.steps.empty()) continue;
        out += 'M';
        hundredths(out, *originX + shape.startX);
        if (*originY + shape.startY >= 0) out += ' ';
        hundredths(out, *originY + shape.startY);
        out += shape.steps;
      }
      if (out.size() == empty) {
        out.resize(start);
      } else {
        out += "'/>";
      }
    } while (!declined && pango_layout_iter_next_run(iter));
    pango_layout_iter_free(iter);
    g_object_unref(layout);
  }

  void image(const ImageItem& item) {
    if (item.width <= 0 || item.height <= 0) return;
    if (!std::isfinite(item.x) || !std::isfinite(item.y) || !std::isfinite(item.width) ||
        !std::isfinite(item.height)) {
      declined = true;
      return;
    }
    const auto pixels = item.image.rgba();
    if (!lastImage || lastImage->width() != item.image.width() ||
        lastImage->height() != item.image.height() || lastImage->rgba().data() != pixels.data()) {
      const auto png = writePNG(static_cast<int>(item.image.width()),
                                static_cast<int>(item.image.height()), pixels);
      lastImageData = "data:image/png;base64," + foundation::base64Encode(png);
      lastImage = item.image;  // holds the pixels, so that their address keeps naming them
    }
    // Drawn into exactly its rectangle, as Cairo clips it there.
    out += "<image x='";
    number(out, item.x);
    out += "' y='";
    number(out, item.y);
    out += "' width='";
    number(out, item.width);
    out += "' height='";
    number(out, item.height);
    out += "' preserveAspectRatio='none' href='";
    out += lastImageData;
    out += "'/>";
  }

  void pushClip(const Path& path) {
    const std::string id = "c" + std::to_string(++clips);
    const std::size_t start = out.size();
    out += "<clipPath id='" + id + "'><path d='";
    if (!pathData(out, path)) {
      out.resize(start);
      declined = true;
      return;
    }
    out += "'/></clipPath><g clip-path='url(#" + id + ")'>";
    ++open;
  }

  void popClip() {
    if (open == 0) return;
    out += "</g>";
    --open;
  }
};

SvgWriter::SvgWriter(const TextSystem& text) : impl_(std::make_unique<Impl>(text)) {}

SvgWriter::~SvgWriter() = default;

std::optional<std::string> SvgWriter::write(const DisplayList& list) {
  if (!std::isfinite(list.width) || !std::isfinite(list.height) || list.width <= 0 ||
      list.height <= 0) {
    return std::nullopt;
  }
  Impl& w = *impl_;
  w.out.clear();
  w.clips = 0;
  w.open = 0;
  w.declined = false;
  w.out += "<svg xmlns='http://www.w3.org/2000/svg' width='";
  number(w.out, list.width);
  w.out += "pt' height='";
  number(w.out, list.height);
  w.out += "pt' viewBox='0 0 ";
  point(w.out, list.width, list.height);
  w.out += "'>";
  for (const DisplayItem& item : list.items) {
    if (const auto* fill = std::get_if<FillItem>(&item)) {
      w.shape("fill", fill->path, fill->color, 0);
    } else if (const auto* stroke = std::get_if<StrokeItem>(&item)) {
      w.shape("stroke", stroke->path, stroke->color, stroke->width);
    } else if (const auto* text = std::get_if<TextItem>(&item)) {
      w.text(*text);
    } else if (const auto* picture = std::get_if<ImageItem>(&item)) {
      w.image(*picture);
    } else if (const auto* clip = std::get_if<PushClipItem>(&item)) {
      w.pushClip(clip->path);
    } else if (std::holds_alternative<PopClipItem>(item)) {
      w.popClip();
    } else {
      w.declined = true;  // a blend
    }
    if (w.declined) return std::nullopt;
  }
  for (; w.open > 0; --w.open) w.out += "</g>";
  w.out += "</svg>";
  return w.out;
}

}  // namespace ui::render
