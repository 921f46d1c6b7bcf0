#include "platform/ui/layout/layout_tree.hpp"

#include "platform/ui/number_text.hpp"

#include <algorithm>

namespace ui::layout {
namespace {

template <class... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

std::string_view describe(ImageMode mode) {
  switch (mode) {
    case ImageMode::stretch:
      return ".stretch";
    case ImageMode::tile:
      return ".tile";
    case ImageMode::fit:
      return ".fit";
    case ImageMode::fill:
      return ".fill";
  }
  return ".stretch";
}

std::string details(const Text& text) {
  std::string out = "lines: [";
  for (std::size_t i = 0; i < text.lines.size(); ++i) {
    if (i > 0) out += ", ";
    out += quoted(text.lines[i]);
  }
  out += "], font: " + text.font.description() + ", scale: " + numberText(text.scale) +
         ", foreground: " + describe(text.foreground);
  if (text.monospacedDigit) out += ", monospacedDigit";
  if (text.truncated) out += ", truncated";
  if (text.typeSize != DynamicTypeSize::large) {
    out += ", typeSize: ";
    out += dynamicTypeSizeName(text.typeSize);
  }
  if (text.rightToLeft) out += ", rightToLeft";
  if (text.multilineAlignment != HorizontalAlignment::leading) {
    out += ", multilineAlignment: ";
    out += ui::describe(text.multilineAlignment);
  }
  return out;
}

std::string details(const Image& image) {
  std::string out;
  if (const auto* pixels = std::get_if<image::UIImage>(&image.source)) {
    out = "uiImage: " + std::to_string(pixels->width()) + "x" + std::to_string(pixels->height());
  } else {
    out = "systemName: " + quoted(std::get<std::string>(image.source));
  }
  out += ", mode: ";
  out += describe(image.mode);
  out += ", imageRect: " + image.imageRect.description();
  if (image.capInsets != EdgeInsets{}) out += ", capInsets: " + image.capInsets.description();
  if (std::holds_alternative<std::string>(image.source)) {
    if (image.font) out += ", font: " + image.font->description();
    out += ", foreground: " + describe(image.foreground);
  }
  return out;
}

std::string details(const Progress& progress) {
  std::string out = "fraction: " + numberText(progress.fraction);
  if (progress.tint) out += ", tint: " + describe(*progress.tint);
  if (progress.tintColor) out += ", tintColor: " + progress.tintColor->qualifiedDescription();
  if (progress.rightToLeft) out += ", rightToLeft";
  return out;
}

std::string details(const Payload& payload) {
  return std::visit(Overloaded{
                        [](const Text& text) { return details(text); },
                        [](const Image& image) { return details(image); },
                        [](const Progress& progress) { return details(progress); },
                        [](const Shape& shape) {
                          std::string out = shape.shape.description();
                          if (shape.fill) out += ", fill: " + describe(*shape.fill);
                          return out;
                        },
                        [](const Clip& clip) { return clip.shape.description(); },
                        [](const auto&) { return std::string(); },
                    },
                    payload);
}

void dumpInto(std::string& out, const LayoutNode& node, int indent) {
  out.append(static_cast<std::size_t>(std::max(indent, 0)), ' ');
  out += kindName(node);
  out += ' ';
  out += node.frame.description();
  const std::string more = details(node.payload);
  if (!more.empty()) {
    out += ' ';
    out += more;
  }
  out += '\n';
  for (const LayoutNode& child : node.children) dumpInto(out, child, indent + 2);
}

}  // namespace

std::string_view kindName(const LayoutNode& node) {
  return std::visit(Overloaded{
                        [](const Stack& stack) -> std::string_view {
                          switch (stack.kind) {
                            case Stack::Kind::vertical:
                              return "VStack";
                            case Stack::Kind::horizontal:
                              return "HStack";
                            case Stack::Kind::depth:
                              return "ZStack";
                          }
                          return "VStack";
                        },
                        [](const Spacer&) -> std::string_view { return "Spacer"; },
                        [](const Empty&) -> std::string_view { return "Empty"; },
                        [](const Text&) -> std::string_view { return "Text"; },
                        [](const Image&) -> std::string_view { return "Image"; },
                        [](const Progress&) -> std::string_view { return "Progress"; },
                        [](const Shape&) -> std::string_view { return "Shape"; },
                        [](const Clip&) -> std::string_view { return "Clip"; },
                        [](const Background&) -> std::string_view { return "Background"; },
                        [](const Padding&) -> std::string_view { return "Padding"; },
                        [](const Frame&) -> std::string_view { return "Frame"; },
                    },
                    node.payload);
}

std::string dump(const LayoutNode& node, int indent) {
  std::string out;
  dumpInto(out, node, indent);
  return out;
}

namespace {

void reflect(LayoutNode& node, double width) {
  node.frame.x = width - node.frame.x - node.frame.width;
  if (auto* text = std::get_if<Text>(&node.payload)) text->rightToLeft = true;
  if (auto* progress = std::get_if<Progress>(&node.payload)) progress->rightToLeft = true;
  if (auto* image = std::get_if<Image>(&node.payload)) {
    image->imageRect.x = width - image->imageRect.x - image->imageRect.width;
  }
  for (LayoutNode& child : node.children) reflect(child, width);
}

}  // namespace

void mirror(LayoutNode& root) {
  // Frames are absolute with the root at the origin, so one width serves the whole tree.
  reflect(root, root.frame.width);
}

}  // namespace ui::layout
