#include "platform/ui/render/display_list.hpp"

#include "platform/ui/number_text.hpp"

#include <bit>
#include <cstring>
#include <span>
#include <type_traits>

namespace ui::render {

RGBA over(const RGBA& top, const RGBA& bottom) {
  const double alpha = top.alpha + bottom.alpha * (1 - top.alpha);
  if (alpha <= 0) return {0, 0, 0, 0};
  const auto channel = [&](double t, double b) {
    return (t * top.alpha + b * bottom.alpha * (1 - top.alpha)) / alpha;
  };
  return {channel(top.red, bottom.red), channel(top.green, bottom.green),
          channel(top.blue, bottom.blue), alpha};
}

std::string RGBA::description() const {
  return "rgba(" + numberText(red) + ", " + numberText(green) + ", " + numberText(blue) + ", " +
         numberText(alpha) + ")";
}

std::string TextFont::description() const {
  return quoted(family) + " " + numberText(size) + " weight " + std::to_string(weight) +
         (tabularDigits ? " tnum" : "");
}

std::string DisplayList::dump() const {
  std::string out = "DisplayList(" + numberText(width) + " x " + numberText(height) + ")\n";
  std::size_t depth = 1;
  for (const DisplayItem& item : items) {
    if (std::holds_alternative<PopClipItem>(item) && depth > 1) --depth;
    out += std::string(2 * depth, ' ');
    if (const auto* fill = std::get_if<FillItem>(&item)) {
      out += "fill " + fill->color.description() + " " + fill->path.description();
    } else if (const auto* stroke = std::get_if<StrokeItem>(&item)) {
      out += "stroke " + numberText(stroke->width) + " " + stroke->color.description() + " " +
             stroke->path.description();
    } else if (const auto* text = std::get_if<TextItem>(&item)) {
      out += "text " + quoted(text->text) + " " + text->font.description() + " at (" +
             numberText(text->x) + ", " + numberText(text->y) + ") line " +
             numberText(text->lineHeight) + " " + text->color.description();
      if (text->rightEdge) out += " ending at " + numberText(*text->rightEdge);
    } else if (const auto* image = std::get_if<ImageItem>(&item)) {
      out += "image " + std::to_string(image->image.width()) + "x" +
             std::to_string(image->image.height()) + " in (" + numberText(image->x) + ", " +
             numberText(image->y) + ", " + numberText(image->width) + ", " +
             numberText(image->height) + ")";
    } else if (const auto* blend = std::get_if<BlendItem>(&item)) {
      out += std::string(blend->blend == Blend::color ? "blend color " : "blend multiply ") +
             blend->color.description() + " " + blend->path.description();
    } else if (const auto* clip = std::get_if<PushClipItem>(&item)) {
      out += "clip " + clip->path.description();
      ++depth;
    } else {
      out += "end clip";
    }
    out += '\n';
  }
  return out;
}

namespace {

// MurmurHash3's 64-bit mixing, fed a word at a time: every field of every item in order, each
// kind of item and path element marked, each string and pixel run preceded by its length, so
// that no two different lists feed the same words.
class Fingerprint {
 public:
  void word(std::uint64_t value) {
    value *= 0x87c37b91114253d5ull;
    value = std::rotl(value, 31) * 0x4cf5ad432745937full;
    hash_ = (std::rotl(hash_ ^ value, 27) * 5) + 0x52dce729;
  }
  // Exact, as the dump's numbers are; both zeros draw alike.
  void number(double value) { word(value == 0 ? 0 : std::bit_cast<std::uint64_t>(value)); }
  void bytes(std::span<const std::uint8_t> data) {
    word(data.size());
    std::size_t i = 0;
    for (; i + 8 <= data.size(); i += 8) {
      std::uint64_t value;
      std::memcpy(&value, data.data() + i, 8);
      word(value);
    }
    std::uint64_t rest = 0;
    if (i < data.size()) std::memcpy(&rest, data.data() + i, data.size() - i);
    word(rest);
  }
  void text(std::string_view value) {
    bytes({reinterpret_cast<const std::uint8_t*>(value.data()), value.size()});
  }
  void colour(const RGBA& c) {
    number(c.red);
    number(c.green);
    number(c.blue);
    number(c.alpha);
  }
  void path(const Path& p) {
    word(p.elements().size());
    for (const Path::Element& element : p.elements()) {
      word(element.index());
      std::visit(
          [this](const auto& e) {
            using E = std::decay_t<decltype(e)>;
            if constexpr (std::is_same_v<E, Path::CurveTo>) {
              for (const PathPoint& point : {e.control1, e.control2, e.to}) {
                number(point.x);
                number(point.y);
              }
            } else if constexpr (!std::is_same_v<E, Path::Close>) {
              number(e.to.x);
              number(e.to.y);
            }
          },
          element);
    }
  }
  std::uint64_t value() const {  // MurmurHash3's finaliser
    std::uint64_t h = hash_;
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    return h ^ (h >> 33);
  }

 private:
  std::uint64_t hash_ = 14695981039346656037ull;
};

}  // namespace

std::uint64_t fingerprint(const DisplayList& list) {
  Fingerprint f;
  f.number(list.width);
  f.number(list.height);
  f.word(list.items.size());
  for (const DisplayItem& item : list.items) {
    f.word(item.index());
    if (const auto* fill = std::get_if<FillItem>(&item)) {
      f.colour(fill->color);
      f.path(fill->path);
    } else if (const auto* stroke = std::get_if<StrokeItem>(&item)) {
      f.number(stroke->width);
      f.colour(stroke->color);
      f.path(stroke->path);
    } else if (const auto* text = std::get_if<TextItem>(&item)) {
      f.text(text->text);
      f.text(text->font.family);
      f.number(text->font.size);
      f.word(static_cast<std::uint64_t>(text->font.weight));
      f.word(text->font.tabularDigits ? 1 : 0);
      f.number(text->x);
      f.number(text->y);
      f.number(text->lineHeight);
      f.colour(text->color);
      f.word(text->rightEdge ? 1 : 0);
      f.number(text->rightEdge.value_or(0));
    } else if (const auto* image = std::get_if<ImageItem>(&item)) {
      f.word(image->image.width());
      f.word(image->image.height());
      f.bytes(image->image.rgba());
      f.number(image->x);
      f.number(image->y);
      f.number(image->width);
      f.number(image->height);
    } else if (const auto* blend = std::get_if<BlendItem>(&item)) {
      f.word(static_cast<std::uint64_t>(blend->blend));
      f.colour(blend->color);
      f.path(blend->path);
    } else if (const auto* clip = std::get_if<PushClipItem>(&item)) {
      f.path(clip->path);
    }
  }
  return f.value();
}

void replay(const DisplayList& list, Canvas& canvas) {
  for (const DisplayItem& item : list.items) {
    if (const auto* fill = std::get_if<FillItem>(&item)) {
      canvas.fill(fill->path, fill->color);
    } else if (const auto* stroke = std::get_if<StrokeItem>(&item)) {
      canvas.stroke(stroke->path, stroke->color, stroke->width);
    } else if (const auto* text = std::get_if<TextItem>(&item)) {
      canvas.text(*text);
    } else if (const auto* image = std::get_if<ImageItem>(&item)) {
      canvas.image(*image);
    } else if (const auto* blend = std::get_if<BlendItem>(&item)) {
      canvas.blend(*blend);
    } else if (const auto* clip = std::get_if<PushClipItem>(&item)) {
      canvas.pushClip(clip->path);
    } else {
      canvas.popClip();
    }
  }
}

namespace {

// Every point of the path taken to factor x point + (dx, dy).
Path transformed(const Path& path, double factor, double dx, double dy) {
  Path out;
  const auto x = [&](double v) { return v * factor + dx; };
  const auto y = [&](double v) { return v * factor + dy; };
  for (const Path::Element& element : path.elements()) {
    if (const auto* m = std::get_if<Path::MoveTo>(&element)) {
      out.moveTo(x(m->to.x), y(m->to.y));
    } else if (const auto* l = std::get_if<Path::LineTo>(&element)) {
      out.lineTo(x(l->to.x), y(l->to.y));
    } else if (const auto* c = std::get_if<Path::CurveTo>(&element)) {
      out.curveTo(x(c->control1.x), y(c->control1.y), x(c->control2.x), y(c->control2.y),
                  x(c->to.x), y(c->to.y));
    } else {
      out.close();
    }
  }
  return out;
}

void transform(std::vector<DisplayItem>& items, double factor, double dx, double dy) {
  for (DisplayItem& item : items) {
    if (auto* fill = std::get_if<FillItem>(&item)) {
      fill->path = transformed(fill->path, factor, dx, dy);
    } else if (auto* stroke = std::get_if<StrokeItem>(&item)) {
      stroke->path = transformed(stroke->path, factor, dx, dy);
      stroke->width *= factor;
    } else if (auto* text = std::get_if<TextItem>(&item)) {
      text->x = text->x * factor + dx;
      text->y = text->y * factor + dy;
      text->lineHeight *= factor;
      text->font.size *= factor;
      if (text->rightEdge) *text->rightEdge = *text->rightEdge * factor + dx;
    } else if (auto* image = std::get_if<ImageItem>(&item)) {
      image->x = image->x * factor + dx;
      image->y = image->y * factor + dy;
      image->width *= factor;
      image->height *= factor;
    } else if (auto* blend = std::get_if<BlendItem>(&item)) {
      blend->path = transformed(blend->path, factor, dx, dy);
    } else if (auto* clip = std::get_if<PushClipItem>(&item)) {
      clip->path = transformed(clip->path, factor, dx, dy);
    }
  }
}

}  // namespace

void translate(std::vector<DisplayItem>& items, double dx, double dy) {
  transform(items, 1, dx, dy);
}

void scale(std::vector<DisplayItem>& items, double factor) {
  transform(items, factor, 0, 0);
}

}  // namespace ui::render
