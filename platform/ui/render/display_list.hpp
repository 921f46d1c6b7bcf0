#pragma once

#include "platform/image/ui_image.hpp"
#include "platform/ui/render/path.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace ui::render {

// A colour resolved for drawing: sRGB, each channel and the opacity from 0 to 1.
struct RGBA {
  double red = 0;
  double green = 0;
  double blue = 0;
  double alpha = 1;
  std::string description() const;
  friend bool operator==(const RGBA&, const RGBA&) = default;
};

// `top` drawn over `bottom` (source-over, straight alpha).
RGBA over(const RGBA& top, const RGBA& bottom);

// A face to draw text in, resolved from a font and its scale.
struct TextFont {
  std::string family;  // "Inter" or "Inter Display"
  double size = 17;    // points, after scaling
  int weight = 400;    // 400 regular, 500 medium, 600 semibold, 700 bold
  bool tabularDigits = false;
  std::string description() const;
  friend bool operator==(const TextFont&, const TextFont&) = default;
};

struct FillItem {
  Path path;
  RGBA color;
  friend bool operator==(const FillItem&, const FillItem&) = default;
};
struct StrokeItem {
  Path path;
  RGBA color;
  double width = 1;
  friend bool operator==(const StrokeItem&, const StrokeItem&) = default;
};
// One line of text; (x, y) is the top left of its line box, which is `lineHeight` high. In a
// right-to-left layout the line ends at `rightEdge` instead, wherever its width puts its start.
struct TextItem {
  std::string text;
  TextFont font;
  double x = 0;
  double y = 0;
  double lineHeight = 0;
  RGBA color;
  std::optional<double> rightEdge;
  friend bool operator==(const TextItem&, const TextItem&) = default;
};
// An image drawn resampled into a rectangle, which may reach beyond what is visible.
struct ImageItem {
  image::UIImage image;
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
  friend bool operator==(const ImageItem&, const ImageItem&) = default;
};
// A fill that combines with what is already drawn rather than covering it: `color` keeps what is
// below's luminance and gives it this colour's hue and saturation (a grey makes it grey);
// `multiply` multiplies it by this colour. Night Mode's red tint is the two in turn.
enum class Blend { color, multiply };
struct BlendItem {
  Path path;
  RGBA color;
  Blend blend = Blend::multiply;
  friend bool operator==(const BlendItem&, const BlendItem&) = default;
};
struct PushClipItem {
  Path path;
  friend bool operator==(const PushClipItem&, const PushClipItem&) = default;
};
struct PopClipItem {
  friend bool operator==(const PopClipItem&, const PopClipItem&) = default;
};

using DisplayItem =
    std::variant<FillItem, StrokeItem, TextItem, ImageItem, BlendItem, PushClipItem, PopClipItem>;

// What to draw, in drawing order, on a surface of the given size in points.
struct DisplayList {
  double width = 0;
  double height = 0;
  std::vector<DisplayItem> items;

  // One line per item; clips indent what they hold.
  std::string dump() const;
};

// Where a display list is drawn: a narrow interface with one back end per output.
class Canvas {
 public:
  virtual ~Canvas() = default;
  virtual void fill(const Path& path, const RGBA& color) = 0;
  virtual void blend(const BlendItem& blend) = 0;
  virtual void stroke(const Path& path, const RGBA& color, double width) = 0;
  virtual void text(const TextItem& text) = 0;
  virtual void image(const ImageItem& image) = 0;
  virtual void pushClip(const Path& path) = 0;
  virtual void popClip() = 0;
};

void replay(const DisplayList& list, Canvas& canvas);

// A 64-bit hash of all that a list draws, every number exact and the pixels of each image. Lists
// that draw alike have one fingerprint, so a drawing already made need not be made again to be
// recognised. Made from the items' values, not from their dump: ten lists an answer, each dumped,
// cost the page's server more than drawing the few that changed.
std::uint64_t fingerprint(const DisplayList& list);

// Moves every item by (dx, dy), so that a drawing made at the origin can be placed on a sheet.
void translate(std::vector<DisplayItem>& items, double dx, double dy);
// Scales every item about the origin: StandBy shows the Lock Screen presentation at twice its size.
void scale(std::vector<DisplayItem>& items, double factor);

}  // namespace ui::render
