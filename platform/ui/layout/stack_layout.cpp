#include "platform/ui/layout/stack_layout.hpp"

#include "platform/ui/layout/engine.hpp"
#include "platform/ui/layout/layout.hpp"
#include "platform/ui/layout/number_cleaning.hpp"
#include "platform/ui/layout/placement.hpp"
#include "platform/ui/platform_metrics.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>
#include <variant>
#include <vector>

namespace ui::layout::detail {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

struct StackShape {
  Axis axis;
  // None: the platform's gaps, which depend on the neighbours.
  std::optional<double> spacing;
  std::variant<HorizontalAlignment, VerticalAlignment> alignment;
};

StackShape shapeOf(const Node& node) {
  if (const auto* stack = std::get_if<HStackNode>(&node)) {
    return {Axis::horizontal, stack->spacing, stack->alignment};
  }
  const auto& stack = std::get<VStackNode>(node);
  return {Axis::vertical, stack.spacing, stack.alignment};
}

struct StackPlan {
  std::vector<ViewRef> children;
  std::vector<ProposedSize> offers;
  std::vector<Size> sizes;
  // The gap before each child: none before the first present child, nor before an absent one.
  std::vector<double> gaps;
  Size size;
};

// A child's priority is its outermost modifier's (environment modifiers change nothing about its
// layout and are looked through): a layout priority gives its value, a bare Spacer minus infinity,
// so that it is sized after everything else and takes what is left; anything else 0.
double layoutPriority(const ViewRef& child) {
  const auto& modifiers = child.view->modifiers();
  for (std::size_t i = child.applied; i-- > 0;) {
    if (isEnvironment(modifiers[i])) continue;
    if (const auto* priority = std::get_if<LayoutPriorityModifier>(&modifiers[i])) {
      return std::isnan(priority->priority) ? 0 : priority->priority;
    }
    break;
  }
  return isPlainSpacer(child) ? -infinity : 0;
}

// With no spacing given, a spacer asks for no room around itself along the axis; other
// neighbours keep the platform's default apart.
double gapBetween(const ViewRef& before, const ViewRef& after, double spacing) {
  if (!std::isnan(spacing)) return spacing;
  return isPlainSpacer(before) || isPlainSpacer(after) ? 0 : defaultStackSpacing;
}

StackPlan planStack(Engine& engine, const ViewRef& node, const StackShape& shape,
                    ProposedSize offer) {
  const Axis axis = shape.axis;
  // NaN for none; spacing given that is no number counts as none given.
  const double spacing = given(shape.spacing.value_or(nan), nan);
  const auto& children = node.view->children();
  StackPlan plan;
  plan.children.reserve(children.size());
  for (const View& child : children) plan.children.push_back(childRef(child, node.env, axis));
  plan.offers.assign(children.size(), ProposedSize{});
  plan.sizes.assign(children.size(), Size{});
  plan.gaps.assign(children.size(), 0);

  std::vector<std::size_t> present;
  double gapTotal = 0;
  for (std::size_t i = 0; i < children.size(); ++i) {
    if (isAbsent(children[i])) continue;
    if (!present.empty()) {
      plan.gaps[i] = gapBetween(plan.children[present.back()], plan.children[i], spacing);
      gapTotal += plan.gaps[i];
    }
    present.push_back(i);
  }
  const std::optional<double> length = along(offer, axis);
  const std::optional<double> crossOffer = across(offer, axis);

  if (!length) {
    // Asked for its ideal size, the stack asks its children for theirs.
    for (std::size_t i : present) {
      plan.offers[i] = proposal(std::nullopt, crossOffer, axis);
      plan.sizes[i] = engine.size(plan.children[i], plan.offers[i]);
    }
  } else if (!present.empty()) {
    struct Entry {
      std::size_t index;
      double priority;
      double flexibility;
      double minimum;
    };
    std::vector<Entry> entries;
    entries.reserve(present.size());
    for (std::size_t i : present) {
      const ViewRef& child = plan.children[i];
      const double least = along(engine.size(child, proposal(0.0, crossOffer, axis)), axis);
      const double most = along(engine.size(child, proposal(infinity, crossOffer, axis)), axis);
      // A child that takes all it is offered answers the largest length there is.
      const double flexibility = most >= maxLength ? infinity : most - least;
      entries.push_back({i, layoutPriority(child), flexibility, least});
    }
    // Higher priority first; within one, the least flexible first, and of two infinitely flexible
    // children the one with the larger minimum; other ties in the stack's order.
    const auto order = [](const Entry& e) {
      return std::tuple(-e.priority, e.flexibility, e.flexibility == infinity ? -e.minimum : 0.0);
    };
    std::stable_sort(entries.begin(), entries.end(),
                     [&](const Entry& a, const Entry& b) { return order(a) < order(b); });

    // Every group after the first keeps its minimums back until its turn.
    double available = *length - gapTotal;
    for (const Entry& entry : entries) {
      if (entry.priority != entries.front().priority) available -= entry.minimum;
    }
    for (std::size_t group = 0; group < entries.size();) {
      std::size_t groupEnd = group;
      while (groupEnd < entries.size() && entries[groupEnd].priority == entries[group].priority) {
        ++groupEnd;
      }
      if (group > 0) {
        for (std::size_t k = group; k < groupEnd; ++k) available += entries[k].minimum;
      }
      for (std::size_t k = group; k < groupEnd; ++k) {
        const std::size_t i = entries[k].index;
        const double share = available / static_cast<double>(groupEnd - k);
        plan.offers[i] = proposal(std::max(share, 0.0), crossOffer, axis);
        plan.sizes[i] = engine.size(plan.children[i], plan.offers[i]);
        available -= along(plan.sizes[i], axis);
      }
      group = groupEnd;
    }
  }

  double total = gapTotal;
  double cross = 0;
  for (std::size_t i : present) {
    total += along(plan.sizes[i], axis);
    cross = std::max(cross, across(plan.sizes[i], axis));
  }
  plan.size = answered(axis == Axis::horizontal ? Size{total, cross} : Size{cross, total});
  return plan;
}

}  // namespace

Size stackSize(Engine& engine, const ViewRef& node, ProposedSize offer) {
  return planStack(engine, node, shapeOf(node.view->node()), offer).size;
}

LayoutNode placeStack(Engine& engine, const ViewRef& node, ProposedSize offer, Point origin,
                      Size size) {
  const StackShape shape = shapeOf(node.view->node());
  const Axis axis = shape.axis;
  const StackPlan plan = planStack(engine, node, shape, offer);
  LayoutNode result{
      snapped(origin, size),
      Stack{axis == Axis::horizontal ? Stack::Kind::horizontal : Stack::Kind::vertical},
      {}};
  double position = axis == Axis::horizontal ? origin.x : origin.y;
  const double crossOrigin = axis == Axis::horizontal ? origin.y : origin.x;
  for (std::size_t i = 0; i < plan.children.size(); ++i) {
    const Size child = plan.sizes[i];
    position += plan.gaps[i];
    const double room = across(size, axis) - across(child, axis);
    const double cross =
        crossOrigin +
        std::visit([&](auto alignment) { return aligned(alignment, room); }, shape.alignment);
    const Point at = point(position, cross, axis);
    if (isAbsent(*plan.children[i].view)) {
      result.children.push_back({{at.x, at.y, 0, 0}, Empty{}, {}});
      continue;
    }
    result.children.push_back(engine.place(plan.children[i], plan.offers[i], at));
    position += along(child, axis);
  }
  return result;
}

Size zStackSize(Engine& engine, const ViewRef& node, ProposedSize offer) {
  Size union_;
  for (const View& child : node.view->children()) {
    const Size s = engine.size(childRef(child, node.env, std::nullopt), offer);
    union_ = {std::max(union_.width, s.width), std::max(union_.height, s.height)};
  }
  return union_;
}

LayoutNode placeZStack(Engine& engine, const ViewRef& node, ProposedSize offer, Point origin,
                       Size size) {
  const auto& stack = std::get<ZStackNode>(node.view->node());
  LayoutNode result{snapped(origin, size), Stack{Stack::Kind::depth}, {}};
  for (const View& child : node.view->children()) {
    const ViewRef ref = childRef(child, node.env, std::nullopt);
    const Size s = engine.size(ref, offer);
    result.children.push_back(
        engine.place(ref, offer, offset(origin, aligned(stack.alignment, size, s))));
  }
  return result;
}

Size spacerSize(const ViewRef& node, ProposedSize offer) {
  const auto& spacer = std::get<SpacerNode>(node.view->node());
  // Its own minimum, not the stack's spacing.
  const double asked = spacer.minLength.value_or(defaultSpacerMinLength);
  const double minimum = answered(std::isnan(asked) ? defaultSpacerMinLength : asked);
  if (!node.stackAxis) return {minimum, minimum};
  const double length = std::max(along(offer, *node.stackAxis).value_or(minimum), minimum);
  return node.stackAxis == Axis::horizontal ? Size{length, 0} : Size{0, length};
}

}  // namespace ui::layout::detail
