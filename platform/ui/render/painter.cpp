#include "platform/ui/render/painter.hpp"

#include "platform/ui/render/text_system.hpp"

#include <algorithm>
#include <cmath>

namespace ui::render {
namespace {

CornerStyle cornerStyle(const RoundedRectangle& shape) {
  return shape.style == RoundedCornerStyle::continuous ? CornerStyle::continuous
                                                       : CornerStyle::circular;
}

class Painter {
 public:
  Painter(Appearance appearance, double dx, double dy, std::vector<DisplayItem>& items)
      : appearance_(appearance), dx_(dx), dy_(dy), items_(items) {}

  void paint(const layout::LayoutNode& node) {
    const layout::Rect frame{node.frame.x + dx_, node.frame.y + dy_, node.frame.width,
                             node.frame.height};
    std::visit([&](const auto& payload) { draw(payload, frame, node); }, node.payload);
  }

 private:
  void children(const layout::LayoutNode& node) {
    for (const layout::LayoutNode& child : node.children) paint(child);
  }

  template <class Container>
  void draw(const Container&, const layout::Rect&, const layout::LayoutNode& node) {
    children(node);
  }

  void draw(const layout::Shape& shape, const layout::Rect& frame, const layout::LayoutNode&) {
    const ShapeStyle style = shape.fill.value_or(HierarchicalShapeStyle::primary);
    items_.push_back(FillItem{roundedRectangle(frame.x, frame.y, frame.width, frame.height,
                                               shape.shape.cornerRadius, cornerStyle(shape.shape)),
                              resolve(style, appearance_)});
  }

  void draw(const layout::Clip& clip, const layout::Rect& frame, const layout::LayoutNode& node) {
    items_.push_back(
        PushClipItem{roundedRectangle(frame.x, frame.y, frame.width, frame.height,
                                      clip.shape.cornerRadius, cornerStyle(clip.shape))});
    children(node);
    items_.push_back(PopClipItem{});
  }

  void draw(const layout::Text& text, const layout::Rect& frame, const layout::LayoutNode&) {
    DrawnFont font = resolveFont(text.font, text.scale, text.typeSize);
    font.face.tabularDigits = font.face.tabularDigits || text.monospacedDigit;
    const RGBA color = resolve(text.foreground, appearance_);
    double y = frame.y;
    for (const std::string& line : text.lines) {
      if (!line.empty()) {
        const std::optional<double> rightEdge =
            text.rightToLeft ? std::optional(frame.x + frame.width) : std::nullopt;
        items_.push_back(TextItem{line, font.face, frame.x, y, font.lineHeight, color, rightEdge});
      }
      y += font.lineHeight;
    }
  }

  void draw(const layout::Image& image, const layout::Rect&, const layout::LayoutNode&) {
    const layout::Rect where{image.imageRect.x + dx_, image.imageRect.y + dy_,
                             image.imageRect.width, image.imageRect.height};
    if (const auto* pixels = std::get_if<image::UIImage>(&image.source)) {
      items_.push_back(ImageItem{*pixels, where.x, where.y, where.width, where.height});
      return;
    }
    // The one system symbol the extension uses is drawn as our own outline; any other symbol
    // shows as a plain disc so that its place stays visible.
    const double side = std::min(where.width, where.height);
    const double x = where.x + (where.width - side) / 2;
    const double y = where.y + (where.height - side) / 2;
    const RGBA color = resolve(image.foreground, appearance_);
    if (std::get<std::string>(image.source) == "arrow.down.circle.fill") {
      items_.push_back(FillItem{arrowDownCircleFill(x, y, side), color});
    } else {
      items_.push_back(FillItem{circle(x + side / 2, y + side / 2, side / 2), color});
    }
  }

  void draw(const layout::Progress& progress, const layout::Rect& frame,
            const layout::LayoutNode&) {
    const double height = progressBarHeight;
    const double y = frame.y + (frame.height - height) / 2;
    items_.push_back(FillItem{
        roundedRectangle(frame.x, y, frame.width, height, height / 2, CornerStyle::circular),
        progressTrack(appearance_)});
    // A shape-style tint wins over a tint colour; with neither, blue.
    const ShapeStyle tint = progress.tint        ? progress.tint->style
                            : progress.tintColor ? ShapeStyle(*progress.tintColor)
                                                 : ShapeStyle(Color::blue);
    const double filled = frame.width * std::clamp(progress.fraction, 0.0, 1.0);
    if (filled > 0) {
      const double x = progress.rightToLeft ? frame.x + frame.width - filled : frame.x;
      items_.push_back(
          FillItem{roundedRectangle(x, y, filled, height, height / 2, CornerStyle::circular),
                   resolve(tint, appearance_)});
    }
  }

  Appearance appearance_;
  double dx_;
  double dy_;
  std::vector<DisplayItem>& items_;
};

}  // namespace

void paint(const layout::LayoutNode& node, Appearance appearance, double dx, double dy,
           std::vector<DisplayItem>& items) {
  Painter(appearance, dx, dy, items).paint(node);
}

}  // namespace ui::render
