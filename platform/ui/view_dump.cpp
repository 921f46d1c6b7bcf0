#include "platform/ui/number_text.hpp"
#include "platform/ui/view.hpp"

#include <type_traits>

namespace ui {
namespace {

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

std::string spacingText(const std::optional<double>& spacing) {
  return spacing ? ", spacing: " + numberText(*spacing) : "";
}

std::string nodeLine(const Node& node) {
  return std::visit(
      Overloaded{
          [](const EmptyView&) -> std::string { return "EmptyView()"; },
          [](const VStackNode& n) {
            return "VStack(alignment: " + std::string(describe(n.alignment)) +
                   spacingText(n.spacing) + ")";
          },
          [](const HStackNode& n) {
            return "HStack(alignment: " + std::string(describe(n.alignment)) +
                   spacingText(n.spacing) + ")";
          },
          [](const ZStackNode& n) {
            return "ZStack(alignment: " + std::string(describe(n.alignment)) + ")";
          },
          [](const TextNode& n) {
            std::string line;
            if (const auto* verbatim = std::get_if<std::string>(&n.content)) {
              line = "Text(verbatim: " + quoted(*verbatim) + ")";
            } else {
              const auto& key = std::get<LocalizedStringKey>(n.content);
              line = "Text(localized: " + quoted(key.key()) + ", arguments: [";
              for (std::size_t i = 0; i < key.arguments().size(); ++i) {
                if (i > 0) line += ", ";
                line += quoted(key.arguments()[i]);
              }
              line += "])";
            }
            if (n.monospacedDigit) line += ".monospacedDigit()";
            return line;
          },
          [](const ImageNode& n) {
            if (const auto* image = std::get_if<image::UIImage>(&n.source)) {
              return "Image(uiImage: " + std::to_string(image->width()) + "x" +
                     std::to_string(image->height()) + ")";
            }
            return "Image(systemName: " + quoted(std::get<std::string>(n.source)) + ")";
          },
          [](const ProgressViewNode& n) {
            return "ProgressView(value: " + numberText(n.value) +
                   ", total: " + numberText(n.total) + ")";
          },
          [](const SpacerNode& n) {
            return n.minLength ? "Spacer(minLength: " + numberText(*n.minLength) + ")"
                               : std::string("Spacer()");
          },
          [](const RoundedRectangle& n) { return n.description(); },
      },
      node);
}

std::string optionalNumber(const char* label, const std::optional<double>& value) {
  return value ? std::string(label) + numberText(*value) : "";
}

std::string modifierLine(const Modifier& modifier) {
  return std::visit(
      Overloaded{
          [](const FontModifier& m) { return ".font(" + m.font.description() + ")"; },
          [](const LineLimitModifier& m) {
            return ".lineLimit(" + (m.limit ? std::to_string(*m.limit) : "nil") + ")";
          },
          [](const MinimumScaleFactorModifier& m) {
            return ".minimumScaleFactor(" + numberText(m.factor) + ")";
          },
          [](const ForegroundStyleModifier& m) {
            return ".foregroundStyle(" + describe(m.style) + ")";
          },
          [](const TintModifier& m) {
            return ".tint(" + (m.tint ? describe(*m.tint) : "nil") + ")";
          },
          [](const TintColorModifier& m) {
            return ".tint(" + (m.tintColor ? m.tintColor->qualifiedDescription() : "nil") + ")";
          },
          [](const PaddingModifier& m) {
            if (m.edges) {
              return ".padding(" + std::string(describe(*m.edges)) + ", " + numberText(m.length) +
                     ")";
            }
            return ".padding(" + m.insets.description() + ")";
          },
          [](const FrameModifier& m) {
            std::string line = ".frame(";
            line += optionalNumber("width: ", m.width);
            if (m.width && m.height) line += ", ";
            line += optionalNumber("height: ", m.height);
            if (m.width || m.height) line += ", ";
            line += "alignment: " + std::string(describe(m.alignment)) + ")";
            return line;
          },
          [](const BackgroundModifier& m) {
            return ".background(alignment: " + std::string(describe(m.alignment)) + ")";
          },
          [](const ClipShapeModifier& m) { return ".clipShape(" + m.shape.description() + ")"; },
          [](const FillModifier& m) { return ".fill(" + describe(m.style) + ")"; },
          [](const ResizableModifier& m) {
            return ".resizable(capInsets: " + m.capInsets.description() + ", resizingMode: " +
                   (m.resizingMode == ResizingMode::stretch ? ".stretch" : ".tile") + ")";
          },
          [](const AspectRatioModifier& m) {
            std::string line = ".aspectRatio(";
            if (m.ratio) line += numberText(*m.ratio) + ", ";
            return line + "contentMode: " + (m.contentMode == ContentMode::fill ? ".fill" : ".fit") +
                   ")";
          },
          [](const LayoutPriorityModifier& m) {
            return ".layoutPriority(" + numberText(m.priority) + ")";
          },
      },
      modifier);
}

void dumpInto(std::string& out, const View& view, int indent) {
  const std::string pad(static_cast<std::size_t>(indent), ' ');
  out += pad + nodeLine(view.node()) + "\n";
  for (const View& child : view.children()) dumpInto(out, child, indent + 2);
  for (const Modifier& modifier : view.modifiers()) {
    out += pad + "  " + modifierLine(modifier) + "\n";
    if (const auto* background = std::get_if<BackgroundModifier>(&modifier)) {
      dumpInto(out, *background->content, indent + 4);
    }
  }
}

}  // namespace

std::string RoundedRectangle::description() const {
  return "RoundedRectangle(cornerRadius: " + numberText(cornerRadius) + ", style: " +
         (style == RoundedCornerStyle::continuous ? ".continuous" : ".circular") + ")";
}

std::string dump(const View& view, int indent) {
  std::string out;
  dumpInto(out, view, indent);
  return out;
}

}  // namespace ui
