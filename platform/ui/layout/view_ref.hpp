#pragma once

#include "platform/ui/layout/axis.hpp"
#include "platform/ui/layout/environment_values.hpp"
#include "platform/ui/view.hpp"

#include <cstddef>
#include <optional>

namespace ui::layout::detail {

// A view with its first `applied` modifiers, as reached from the root: the environment its
// ancestors and its outer modifiers set, and the axis of the stack it is a direct child of.
// Layout peels a view's wrapping modifiers off from the outside in by lowering `applied`.
struct ViewRef {
  const View* view;
  std::size_t applied;
  EnvironmentValues env;
  std::optional<Axis> stackAxis;
};

// `child` with all its modifiers, under `env`.
ViewRef childRef(const View& child, const EnvironmentValues& env, std::optional<Axis> stackAxis);

// What a ViewRef is, once the environment modifiers around it are read: the outermost wrapping
// modifier (padding, frame, background, clip, aspect ratio), or the node itself.
struct Step {
  enum class Kind { node, padding, frame, background, clip, aspectRatio };
  Kind kind = Kind::node;
  const Modifier* modifier = nullptr;
  // For a wrapper, what it wraps (with the environment at the wrapper); for the node, the node
  // with its own modifiers' environment applied.
  ViewRef inner;
};

Step settle(ViewRef ref);

// A modifier of the bare node (resizable, aspectRatio on an image; fill on a shape), if it has one.
template <class M>
const M* ownModifier(const ViewRef& node) {
  const auto& modifiers = node.view->modifiers();
  for (std::size_t i = 0; i < node.applied && i < modifiers.size(); ++i) {
    if (const auto* found = std::get_if<M>(&modifiers[i])) return found;
  }
  return nullptr;
}

// An EmptyView without modifiers: absent from its stack like an absent optional.
bool isAbsent(const View& child);

// A Spacer that no wrapping modifier has turned into an ordinary view.
bool isPlainSpacer(const ViewRef& ref);

}  // namespace ui::layout::detail
