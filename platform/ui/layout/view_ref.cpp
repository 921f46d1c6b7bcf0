#include "platform/ui/layout/view_ref.hpp"

#include "platform/ui/layout/overloaded.hpp"

namespace ui::layout::detail {
namespace {

// Modifiers that change the node itself rather than wrap it, when they come before any wrapping
// modifier: resizable and aspectRatio on an image, fill on a shape, the environment, and a layout
// priority (which only its stack reads).
bool belongsToNode(const Modifier& modifier, const Node& node) {
  if (isEnvironment(modifier) || std::holds_alternative<LayoutPriorityModifier>(modifier)) {
    return true;
  }
  if (std::holds_alternative<ResizableModifier>(modifier) ||
      std::holds_alternative<AspectRatioModifier>(modifier)) {
    return std::holds_alternative<ImageNode>(node);
  }
  if (std::holds_alternative<FillModifier>(modifier)) {
    return std::holds_alternative<RoundedRectangle>(node);
  }
  return false;
}

std::size_t nodeModifierCount(const View& view) {
  const auto& modifiers = view.modifiers();
  std::size_t count = 0;
  while (count < modifiers.size() && belongsToNode(modifiers[count], view.node())) ++count;
  return count;
}

}  // namespace

ViewRef childRef(const View& child, const EnvironmentValues& env, std::optional<Axis> stackAxis) {
  return {&child, child.modifiers().size(), env, stackAxis};
}

Step settle(ViewRef ref) {
  const auto& modifiers = ref.view->modifiers();
  const std::size_t own = nodeModifierCount(*ref.view);
  // Resizing and filling mean nothing once the view is no longer the bare image or shape, nor a
  // layout priority once the view is inside a wrapper: the loop passes over them.
  while (ref.applied > own) {
    const Modifier& modifier = modifiers[--ref.applied];
    if (applyEnvironment(modifier, ref.env)) continue;
    const auto kind = std::visit(
        Overloaded{
            [](const PaddingModifier&) { return std::optional(Step::Kind::padding); },
            [](const FrameModifier&) { return std::optional(Step::Kind::frame); },
            [](const BackgroundModifier&) { return std::optional(Step::Kind::background); },
            [](const ClipShapeModifier&) { return std::optional(Step::Kind::clip); },
            [](const AspectRatioModifier&) { return std::optional(Step::Kind::aspectRatio); },
            [](const auto&) { return std::optional<Step::Kind>(); },
        },
        modifier);
    if (kind) return {*kind, &modifier, ref};
  }
  // Applied from the outside in, so that the modifier nearest the node wins.
  for (std::size_t i = ref.applied; i-- > 0;) applyEnvironment(modifiers[i], ref.env);
  return {Step::Kind::node, nullptr, ref};
}

bool isAbsent(const View& child) {
  return std::holds_alternative<EmptyView>(child.node()) && child.modifiers().empty();
}

bool isPlainSpacer(const ViewRef& ref) {
  return std::holds_alternative<SpacerNode>(ref.view->node()) &&
         settle(ref).kind == Step::Kind::node;
}

}  // namespace ui::layout::detail
