#pragma once

#include "platform/image/ui_image.hpp"
#include "platform/ui/alignment.hpp"
#include "platform/ui/color.hpp"
#include "platform/ui/edge_insets.hpp"
#include "platform/ui/font.hpp"
#include "platform/ui/indirect.hpp"
#include "platform/ui/localized_string_key.hpp"
#include "platform/ui/shape_style.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace ui {

class View;

// --- What a node is ---

struct EmptyView {
  friend bool operator==(const EmptyView&, const EmptyView&) = default;
};
struct VStackNode {
  HorizontalAlignment alignment = HorizontalAlignment::center;
  std::optional<double> spacing;
  friend bool operator==(const VStackNode&, const VStackNode&) = default;
};
struct HStackNode {
  VerticalAlignment alignment = VerticalAlignment::center;
  std::optional<double> spacing;
  friend bool operator==(const HStackNode&, const HStackNode&) = default;
};
struct ZStackNode {
  Alignment alignment = Alignment::center;
  friend bool operator==(const ZStackNode&, const ZStackNode&) = default;
};
struct TextNode {
  // A verbatim text shows `verbatim`; a localizable one shows its key, resolved when drawn.
  std::variant<std::string, LocalizedStringKey> content;
  // Text.monospacedDigit(), which belongs to the text itself.
  bool monospacedDigit = false;
  friend bool operator==(const TextNode&, const TextNode&) = default;
};
struct ImageNode {
  std::variant<image::UIImage, std::string> source;  // an image, or a system symbol's name
  friend bool operator==(const ImageNode&, const ImageNode&) = default;
};
struct ProgressViewNode {
  double value = 0;  // as given, never clamped
  double total = 1;
  friend bool operator==(const ProgressViewNode&, const ProgressViewNode&) = default;
};
struct SpacerNode {
  std::optional<double> minLength;
  friend bool operator==(const SpacerNode&, const SpacerNode&) = default;
};
enum class RoundedCornerStyle { circular, continuous };
struct RoundedRectangle {
  double cornerRadius = 0;
  RoundedCornerStyle style = RoundedCornerStyle::circular;
  // The shape as a view filled with a style.
  View fill(const ShapeStyle& style) const;
  std::string description() const;
  friend bool operator==(const RoundedRectangle&, const RoundedRectangle&) = default;
};

using Node = std::variant<EmptyView, VStackNode, HStackNode, ZStackNode, TextNode, ImageNode,
                          ProgressViewNode, SpacerNode, RoundedRectangle>;

// --- What a modifier does ---

enum class ContentMode { fit, fill };
enum class ResizingMode { tile, stretch };

struct FontModifier {
  Font font;
  friend bool operator==(const FontModifier&, const FontModifier&) = default;
};
struct LineLimitModifier {
  std::optional<int> limit;
  friend bool operator==(const LineLimitModifier&, const LineLimitModifier&) = default;
};
struct MinimumScaleFactorModifier {
  double factor = 1;
  friend bool operator==(const MinimumScaleFactorModifier&,
                         const MinimumScaleFactorModifier&) = default;
};
struct ForegroundStyleModifier {
  ShapeStyle style;
  friend bool operator==(const ForegroundStyleModifier&, const ForegroundStyleModifier&) = default;
};
// The shape-style form of tint(_:), which writes the environment value `tint`.
struct TintModifier {
  std::optional<AnyShapeStyle> tint;
  friend bool operator==(const TintModifier&, const TintModifier&) = default;
};
// The colour form of tint(_:), which writes the environment value `tintColor`.
struct TintColorModifier {
  std::optional<Color> tintColor;
  friend bool operator==(const TintColorModifier&, const TintColorModifier&) = default;
};
struct PaddingModifier {
  std::optional<EdgeSet> edges;  // nothing: padding with explicit insets
  double length = 0;
  EdgeInsets insets;
  friend bool operator==(const PaddingModifier&, const PaddingModifier&) = default;
};
struct FrameModifier {
  std::optional<double> width;
  std::optional<double> height;
  Alignment alignment = Alignment::center;
  friend bool operator==(const FrameModifier&, const FrameModifier&) = default;
};
struct BackgroundModifier {
  Alignment alignment = Alignment::center;
  Indirect<View> content;
  friend bool operator==(const BackgroundModifier&, const BackgroundModifier&) = default;
};
struct ClipShapeModifier {
  RoundedRectangle shape;
  friend bool operator==(const ClipShapeModifier&, const ClipShapeModifier&) = default;
};
// A shape filled with a style (default fill style: non-zero winding, antialiased).
struct FillModifier {
  ShapeStyle style;
  friend bool operator==(const FillModifier&, const FillModifier&) = default;
};
struct ResizableModifier {
  EdgeInsets capInsets;
  ResizingMode resizingMode = ResizingMode::stretch;
  friend bool operator==(const ResizableModifier&, const ResizableModifier&) = default;
};
struct AspectRatioModifier {
  std::optional<double> ratio;
  ContentMode contentMode = ContentMode::fit;
  friend bool operator==(const AspectRatioModifier&, const AspectRatioModifier&) = default;
};

// Which children of a stack are sized first: a stack reads it from a child's outermost modifier
// and offers room to higher priorities before lower ones. It changes nothing else about the view.
struct LayoutPriorityModifier {
  double priority = 0;
  friend bool operator==(const LayoutPriorityModifier&, const LayoutPriorityModifier&) = default;
};

using Modifier =
    std::variant<FontModifier, LineLimitModifier, MinimumScaleFactorModifier,
                 ForegroundStyleModifier, TintModifier, TintColorModifier, PaddingModifier,
                 FrameModifier, BackgroundModifier, ClipShapeModifier, FillModifier,
                 ResizableModifier, AspectRatioModifier, LayoutPriorityModifier>;

// A view: a node, its children in order and its modifiers in the order applied. A plain value:
// copies are independent and equal views are equal field by field.
class View {
 public:
  View() = default;
  View(Node node, std::vector<View> children = {})
      : node_(std::move(node)), children_(std::move(children)) {}

  const Node& node() const noexcept { return node_; }
  const std::vector<View>& children() const noexcept { return children_; }
  const std::vector<Modifier>& modifiers() const noexcept { return modifiers_; }

  View font(const Font& font) && { return std::move(*this).with(FontModifier{font}); }
  View lineLimit(std::optional<int> limit) && {
    return std::move(*this).with(LineLimitModifier{limit});
  }
  View minimumScaleFactor(double factor) && {
    return std::move(*this).with(MinimumScaleFactorModifier{factor});
  }
  View foregroundStyle(const ShapeStyle& style) && {
    return std::move(*this).with(ForegroundStyleModifier{style});
  }
  View tint(const AnyShapeStyle& style) && { return std::move(*this).with(TintModifier{style}); }
  View tint(const Color& color) && { return std::move(*this).with(TintColorModifier{color}); }
  View padding(EdgeSet edges, double length) && {
    return std::move(*this).with(PaddingModifier{edges, length, EdgeInsets::on(edges, length)});
  }
  View padding(const EdgeInsets& insets) && {
    return std::move(*this).with(PaddingModifier{std::nullopt, 0, insets});
  }
  View frame(std::optional<double> width, std::optional<double> height,
             Alignment alignment = Alignment::center) && {
    return std::move(*this).with(FrameModifier{width, height, alignment});
  }
  View background(Alignment alignment, View content) && {
    return std::move(*this).with(BackgroundModifier{alignment, std::move(content)});
  }
  View clipShape(const RoundedRectangle& shape) && {
    return std::move(*this).with(ClipShapeModifier{shape});
  }
  View fill(const ShapeStyle& style) && { return std::move(*this).with(FillModifier{style}); }
  View resizable(const EdgeInsets& capInsets = {}, ResizingMode mode = ResizingMode::stretch) && {
    return std::move(*this).with(ResizableModifier{capInsets, mode});
  }
  View aspectRatio(std::optional<double> ratio, ContentMode mode) && {
    return std::move(*this).with(AspectRatioModifier{ratio, mode});
  }
  View layoutPriority(double priority) && {
    return std::move(*this).with(LayoutPriorityModifier{priority});
  }
  // On a text, Text.monospacedDigit(); on any other view it has no meaning and is ignored.
  View monospacedDigit() && {
    if (auto* text = std::get_if<TextNode>(&node_)) text->monospacedDigit = true;
    return std::move(*this);
  }

  friend bool operator==(const View&, const View&) = default;

 private:
  View with(Modifier modifier) && {
    modifiers_.push_back(std::move(modifier));
    return std::move(*this);
  }

  Node node_;
  std::vector<View> children_;
  std::vector<Modifier> modifiers_;
};

// --- The views, spelled as the platform spells them ---

namespace detail {
inline void appendChild(std::vector<View>& children, View child) {
  children.push_back(std::move(child));
}
// An absent optional child is no child at all.
inline void appendChild(std::vector<View>& children, std::optional<View> child) {
  if (child) children.push_back(std::move(*child));
}
template <class... Children>
std::vector<View> childList(Children&&... children) {
  std::vector<View> list;
  list.reserve(sizeof...(children));
  (appendChild(list, std::forward<Children>(children)), ...);
  return list;
}
}  // namespace detail

template <class... Children>
View VStack(HorizontalAlignment alignment, std::optional<double> spacing, Children&&... children) {
  return View(VStackNode{alignment, spacing},
              detail::childList(std::forward<Children>(children)...));
}

template <class... Children>
View HStack(VerticalAlignment alignment, std::optional<double> spacing, Children&&... children) {
  return View(HStackNode{alignment, spacing},
              detail::childList(std::forward<Children>(children)...));
}

template <class... Children>
View ZStack(Alignment alignment, Children&&... children) {
  return View(ZStackNode{alignment}, detail::childList(std::forward<Children>(children)...));
}

// Text(verbatim:): shown as it is, never looked up.
inline View Text(std::string_view verbatim) { return View(TextNode{std::string(verbatim)}); }
// Text(_: LocalizedStringKey): looked up in the extension's table when drawn.
inline View Text(LocalizedStringKey key) { return View(TextNode{std::move(key)}); }

inline View Image(image::UIImage uiImage) { return View(ImageNode{std::move(uiImage)}); }
inline View Image(std::string_view systemName) {
  return View(ImageNode{std::string(systemName)});
}

inline View ProgressView(double value, double total) {
  return View(ProgressViewNode{value, total});
}

inline View Spacer(std::optional<double> minLength = std::nullopt) {
  return View(SpacerNode{minLength});
}

inline View RoundedRectangle::fill(const ShapeStyle& style) const { return View(*this).fill(style); }

// The canonical text dump: one line per node, children two spaces deeper, then the node's
// modifiers at the children's depth; a modifier that holds a view is followed by it, two deeper.
std::string dump(const View& view, int indent = 0);

}  // namespace ui
