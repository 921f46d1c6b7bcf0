#pragma once

#include "platform/image/ui_image.hpp"
#include "platform/ui/alignment.hpp"
#include "platform/ui/color.hpp"
#include "platform/ui/edge_insets.hpp"
#include "platform/ui/font.hpp"
#include "platform/ui/layout/geometry.hpp"
#include "platform/ui/platform_metrics.hpp"
#include "platform/ui/shape_style.hpp"
#include "platform/ui/view.hpp"

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace ui::layout {

// What layout hands to drawing: every node's frame in points, absolute (origin at the root's
// top-left corner), and what drawing needs to know about it, with the environment already
// resolved into it. Nothing in it refers back to the view tree.

// A VStack, HStack or ZStack: its children are the stack's, in the stack's order.
struct Stack {
  enum class Kind { vertical, horizontal, depth };
  Kind kind = Kind::vertical;
  friend bool operator==(const Stack&, const Stack&) = default;
};

struct Spacer {
  friend bool operator==(const Spacer&, const Spacer&) = default;
};

// EmptyView: nothing to draw, zero size.
struct Empty {
  friend bool operator==(const Empty&, const Empty&) = default;
};

struct Text {
  // As laid out, at `scale`: the last line of a truncated text ends with "…".
  std::vector<std::string> lines;
  ui::Font font = ui::Font::system(bodyPointSize);
  // The uniform shrink applied to the font (1 unless the text had to shrink to fit).
  double scale = 1;
  // The text size its text style was resolved at.
  ui::DynamicTypeSize typeSize = ui::DynamicTypeSize::large;
  // Right to left: its lines stand against the right edge of its frame.
  bool rightToLeft = false;
  bool truncated = false;
  ui::ShapeStyle foreground = ui::HierarchicalShapeStyle::primary;
  // The font's monospaced digits or the text's own.
  bool monospacedDigit = false;
  HorizontalAlignment multilineAlignment = HorizontalAlignment::leading;
  // What a fit report reads, not drawn and not in the dump: the whole text before it was cut, the
  // line limit in force, the width it was offered (its own width where it was offered any) and the
  // characters no font draws.
  std::string source;
  std::optional<int> lineLimit;
  double offeredWidth = 0;
  std::vector<char32_t> missingCharacters;
  friend bool operator==(const Text&, const Text&) = default;
};

enum class ImageMode {
  stretch,  // the pixels fill `imageRect` (a fixed-size image's natural size, or a resizable's)
  tile,     // repeated at their natural size across `imageRect`
  fit,      // scaled to fit, keeping the aspect ratio: `imageRect` is the node's frame
  fill,     // scaled to cover the frame, keeping the aspect ratio: `imageRect` may overflow it
};

struct Image {
  // An image, or a system symbol's name.
  std::variant<image::UIImage, std::string> source{std::string()};
  ImageMode mode = ImageMode::stretch;
  // Where the image's pixels (or the symbol) go, absolute like the frames; centred on the frame
  // and larger than it for `fill`.
  Rect imageRect;
  EdgeInsets capInsets;
  // For symbols: the colour and the font (its weight) in force; none where no font is set.
  ui::ShapeStyle foreground = ui::HierarchicalShapeStyle::primary;
  std::optional<ui::Font> font;
  friend bool operator==(const Image&, const Image&) = default;
};

// A linear bar: a capsule progressBarHeight high, as wide as the frame, centred vertically in it.
struct Progress {
  double fraction = 0;  // value / total pinned to 0...1, NaN as 0
  std::optional<ui::AnyShapeStyle> tint;
  std::optional<ui::Color> tintColor;
  // Right to left: it fills from the right.
  bool rightToLeft = false;
  friend bool operator==(const Progress&, const Progress&) = default;
};

struct Shape {
  ui::RoundedRectangle shape;
  // The fill modifier's style, else the foreground style in force; none: the default foreground.
  std::optional<ui::ShapeStyle> fill;
  friend bool operator==(const Shape&, const Shape&) = default;
};

// Its one child is clipped to this node's frame cut to `shape`.
struct Clip {
  ui::RoundedRectangle shape;
  friend bool operator==(const Clip&, const Clip&) = default;
};

// children[0] is the background, children[1] the decorated content; the node's frame is the
// content's.
struct Background {
  friend bool operator==(const Background&, const Background&) = default;
};

// Wrappers with one child that only move or size it.
struct Padding {
  friend bool operator==(const Padding&, const Padding&) = default;
};
struct Frame {
  friend bool operator==(const Frame&, const Frame&) = default;
};

using Payload = std::variant<Stack, Spacer, Empty, Text, Image, Progress, Shape, Clip, Background,
                             Padding, Frame>;

struct LayoutNode {
  Rect frame;
  Payload payload;
  std::vector<LayoutNode> children;

  friend bool operator==(const LayoutNode&, const LayoutNode&) = default;
};

// "VStack", "Text", "Progress", ... (a Stack by its kind).
std::string_view kindName(const LayoutNode& node);

// The canonical dump: one line per node, its kind, its frame as (x, y, width, height) and its
// payload's details, children two spaces deeper; numbers in shortest round-trip form, strings as
// JSON strings.
std::string dump(const LayoutNode& node, int indent = 0);

// The tree as a right-to-left layout places it: every frame reflected across the root's vertical
// centre line, so that leading stands on the right and stacks run from the right. Glyphs are not
// reflected: texts and progress bars are marked instead, for drawing.
void mirror(LayoutNode& root);

}  // namespace ui::layout
