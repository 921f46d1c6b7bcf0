#include "platform/ui/layout/layout.hpp"

#include "platform/ui/platform_metrics.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <tuple>

namespace ui::layout {
namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();

// --- Making numbers harmless where they enter ---

// Lengths and positions are rounded to a millionth of a point, far below a pixel, so that a sum
// comes out the same whichever way it was added up (a stack that takes exactly its offer answers
// the offer, not one rounding error more). Adding 0.0 turns -0 into 0.
double snapped(double value) {
  return std::round(value * 1e6) / 1e6 + 0.0;
}

// A length a view answers: NaN and negative as 0, at most maxLength.
double answered(double value) {
  if (!(value > 0)) return 0;
  return snapped(std::min(value, maxLength));
}

Rect snapped(Point origin, Size size) {
  return {snapped(origin.x), snapped(origin.y), snapped(size.width), snapped(size.height)};
}

Size answered(Size size) {
  return {answered(size.width), answered(size.height)};
}

// An offered length: NaN as no offer, negative as 0; +infinity stays ("as much as you can take").
std::optional<double> offered(std::optional<double> value) {
  if (!value || std::isnan(*value)) return std::nullopt;
  return *value > 0 ? *value : 0.0;
}

ProposedSize offered(ProposedSize proposal) {
  return {offered(proposal.width), offered(proposal.height)};
}

// A signed length given by a view (spacing, padding): NaN as `fallback`, within +-maxLength.
double given(double value, double fallback) {
  if (std::isnan(value)) return fallback;
  return std::clamp(value, -maxLength, maxLength) + 0.0;
}

// --- The environment as it flows down the view tree ---

struct Env {
  std::optional<Font> font;
  std::optional<int> lineLimit;
  double minimumScaleFactor = 1;
  std::optional<ShapeStyle> foreground;
  std::optional<AnyShapeStyle> tint;
  std::optional<Color> tintColor;
};

template <class... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

// Writes an environment modifier's value into `env`; false for any other modifier.
bool applyEnvironment(const Modifier& modifier, Env& env) {
  return std::visit(
      Overloaded{
          [&](const FontModifier& m) { return env.font = m.font, true; },
          [&](const LineLimitModifier& m) { return env.lineLimit = m.limit, true; },
          [&](const MinimumScaleFactorModifier& m) {
            return env.minimumScaleFactor = m.factor, true;
          },
          [&](const ForegroundStyleModifier& m) { return env.foreground = m.style, true; },
          [&](const TintModifier& m) { return env.tint = m.tint, true; },
          [&](const TintColorModifier& m) { return env.tintColor = m.tintColor, true; },
          [](const auto&) { return false; },
      },
      modifier);
}

bool isEnvironment(const Modifier& modifier) {
  Env scratch;
  return applyEnvironment(modifier, scratch);
}

// Modifiers that change the node itself rather than wrap it: resizable and aspectRatio on an
// image, fill on a shape, and the environment, when they come before any wrapping modifier.
bool belongsToNode(const Modifier& modifier, const Node& node) {
  if (isEnvironment(modifier)) return true;
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

enum class Axis { horizontal, vertical };

// A view with its first `applied` modifiers, as reached from the root: the environment its
// ancestors and its outer modifiers set, and the axis of the stack it is a direct child of.
struct Ref {
  const View* view;
  std::size_t applied;
  Env env;
  std::optional<Axis> stackAxis;
};

Ref childRef(const View& child, const Env& env, std::optional<Axis> axis) {
  return {&child, child.modifiers().size(), env, axis};
}

// What a Ref is, once the environment modifiers around it are read.
struct Step {
  enum class Kind { node, padding, frame, background, clip, aspectRatio };
  Kind kind = Kind::node;
  const Modifier* modifier = nullptr;
  // For a wrapper, what it wraps (with the environment at the wrapper); for the node, the node
  // with its own modifiers' environment applied.
  Ref inner;
};

Step settle(Ref ref) {
  const auto& modifiers = ref.view->modifiers();
  const std::size_t own = nodeModifierCount(*ref.view);
  // Resizing and filling mean nothing once the view is no longer the bare image or shape: the
  // loop passes over them.
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

template <class M>
const M* ownModifier(const Ref& node) {
  const auto& modifiers = node.view->modifiers();
  for (std::size_t i = 0; i < node.applied && i < modifiers.size(); ++i) {
    if (const auto* found = std::get_if<M>(&modifiers[i])) return found;
  }
  return nullptr;
}

// --- Geometry helpers ---

double along(Size size, Axis axis) {
  return axis == Axis::horizontal ? size.width : size.height;
}
double across(Size size, Axis axis) {
  return axis == Axis::horizontal ? size.height : size.width;
}
std::optional<double> along(ProposedSize p, Axis axis) {
  return axis == Axis::horizontal ? p.width : p.height;
}
std::optional<double> across(ProposedSize p, Axis axis) {
  return axis == Axis::horizontal ? p.height : p.width;
}
ProposedSize proposal(std::optional<double> alongLength, std::optional<double> acrossLength,
                      Axis axis) {
  return axis == Axis::horizontal ? ProposedSize{alongLength, acrossLength}
                                  : ProposedSize{acrossLength, alongLength};
}

double aligned(HorizontalAlignment alignment, double room) {
  switch (alignment) {
    case HorizontalAlignment::leading:
      return 0;
    case HorizontalAlignment::center:
      return room / 2;
    case HorizontalAlignment::trailing:
      return room;
  }
  return room / 2;
}

double aligned(VerticalAlignment alignment, double room) {
  switch (alignment) {
    case VerticalAlignment::top:
      return 0;
    case VerticalAlignment::center:
      return room / 2;
    case VerticalAlignment::bottom:
      return room;
  }
  return room / 2;
}

// Where a child of size `inner` goes inside `outer`, aligned; negative when it overflows.
Point aligned(Alignment alignment, Size outer, Size inner) {
  return {aligned(horizontal(alignment), outer.width - inner.width) + 0.0,
          aligned(vertical(alignment), outer.height - inner.height) + 0.0};
}

Point offset(Point origin, Point by) {
  return {origin.x + by.x, origin.y + by.y};
}

EdgeInsets insets(const PaddingModifier& padding) {
  return {given(padding.insets.top, 0), given(padding.insets.leading, 0),
          given(padding.insets.bottom, 0), given(padding.insets.trailing, 0)};
}

std::optional<double> shrunk(std::optional<double> length, double by) {
  if (!length) return std::nullopt;
  return std::max(*length - by, 0.0);
}

// A frame modifier's length: NaN as none; +infinity as the offer where that is finite, else none.
std::optional<double> frameLength(std::optional<double> asked, std::optional<double> offer) {
  if (!asked || std::isnan(*asked)) return std::nullopt;
  if (*asked == infinity) {
    return offer && std::isfinite(*offer) ? offer : std::nullopt;
  }
  return answered(*asked);
}

// The largest box of aspect ratio `ratio` (width / height) inside `box` (fit), or the smallest
// around it (fill).
Size withRatio(double ratio, ContentMode mode, Size box) {
  const bool wider = box.width > box.height * ratio;
  const bool byHeight = mode == ContentMode::fit ? wider : !wider;
  return byHeight ? Size{box.height * ratio, box.height} : Size{box.width, box.width / ratio};
}

// The box an aspect ratio works in: the offer, a missing dimension made from the other by the
// ratio, or `ideal` where nothing is offered.
Size ratioBox(double ratio, ProposedSize offer, Size ideal) {
  if (!offer.width && !offer.height) return ideal;
  const double width = offer.width ? *offer.width : *offer.height * ratio;
  const double height = offer.height ? *offer.height : *offer.width / ratio;
  return {width, height};
}

double ratioOf(std::optional<double> asked, Size ideal) {
  if (asked && std::isfinite(*asked) && *asked > 0) return *asked;
  if (ideal.width > 0 && ideal.height > 0) return ideal.width / ideal.height;
  return 1;
}

// No modifier sets a layout priority yet: every view has the default.
double layoutPriority(const Ref&) {
  return 0;
}

bool isAbsent(const View& child) {
  return std::holds_alternative<EmptyView>(child.node()) && child.modifiers().empty();
}

double minimumScaleFactor(const Env& env) {
  const double factor = env.minimumScaleFactor;
  return std::isnan(factor) ? 1 : std::clamp(factor, 0.0, 1.0);
}

// --- The engine ---

class Engine {
 public:
  Engine(const TextMeasurer& measurer, const StringTable& strings)
      : measurer_(measurer), strings_(strings) {}

  Size size(const Ref& ref, ProposedSize offer);
  LayoutNode place(const Ref& ref, ProposedSize offer, Point origin);

 private:
  struct StackPlan {
    std::vector<Ref> children;
    std::vector<ProposedSize> offers;
    std::vector<Size> sizes;
    double spacing = 0;
    Size size;
  };
  struct TextResult {
    Size size;
    Text payload;
  };
  struct ImageResult {
    Size size;
    Image payload;  // imageRect relative to the node's origin
  };

  Size compute(const Ref& ref, ProposedSize offer);
  Size nodeSize(const Ref& node, ProposedSize offer);
  LayoutNode placeNode(const Ref& node, ProposedSize offer, Point origin, Size size);
  ProposedSize aspectOffer(const Step& step, ProposedSize offer);

  StackPlan stack(const Ref& node, Axis axis, std::optional<double> spacing, ProposedSize offer);
  TextResult text(const Ref& node, ProposedSize offer);
  ImageResult image(const Ref& node, ProposedSize offer) const;
  Size spacer(const Ref& node, ProposedSize offer) const;

  const TextMeasurer& measurer_;
  const StringTable& strings_;
  // Sizes already answered, by view, modifiers applied and offer. A view has one path from the
  // root, so these three fix the environment too.
  using Key = std::tuple<std::uintptr_t, std::size_t, bool, double, bool, double>;
  std::map<Key, Size> sizes_;
};

Size Engine::size(const Ref& ref, ProposedSize offer) {
  offer = offered(offer);
  const Key key{reinterpret_cast<std::uintptr_t>(ref.view),
                ref.applied,
                offer.width.has_value(),
                offer.width.value_or(0),
                offer.height.has_value(),
                offer.height.value_or(0)};
  if (const auto found = sizes_.find(key); found != sizes_.end()) return found->second;
  const Size result = answered(compute(ref, offer));
  sizes_.emplace(key, result);
  return result;
}

Size Engine::compute(const Ref& ref, ProposedSize offer) {
  const Step step = settle(ref);
  switch (step.kind) {
    case Step::Kind::node:
      return nodeSize(step.inner, offer);
    case Step::Kind::padding: {
      const EdgeInsets e = insets(std::get<PaddingModifier>(*step.modifier));
      const Size child = size(step.inner, {shrunk(offer.width, e.leading + e.trailing),
                                           shrunk(offer.height, e.top + e.bottom)});
      return {child.width + e.leading + e.trailing, child.height + e.top + e.bottom};
    }
    case Step::Kind::frame: {
      const auto& frame = std::get<FrameModifier>(*step.modifier);
      const auto width = frameLength(frame.width, offer.width);
      const auto height = frameLength(frame.height, offer.height);
      const Size child =
          size(step.inner, {width ? width : offer.width, height ? height : offer.height});
      return {width.value_or(child.width), height.value_or(child.height)};
    }
    case Step::Kind::background:
    case Step::Kind::clip:
      return size(step.inner, offer);
    case Step::Kind::aspectRatio:
      return size(step.inner, aspectOffer(step, offer));
  }
  return {};
}

// A view under aspectRatio (other than a resizable image's own) is offered the box of that ratio
// fitted into, or around, its offer.
ProposedSize Engine::aspectOffer(const Step& step, ProposedSize offer) {
  const auto& aspect = std::get<AspectRatioModifier>(*step.modifier);
  const Size ideal = size(step.inner, {});
  const double ratio = ratioOf(aspect.ratio, ideal);
  const Size box = withRatio(ratio, aspect.contentMode, ratioBox(ratio, offer, ideal));
  return {box.width, box.height};
}

LayoutNode Engine::place(const Ref& ref, ProposedSize offer, Point origin) {
  offer = offered(offer);
  const Size answer = size(ref, offer);
  const Rect frame = snapped(origin, answer);
  const Step step = settle(ref);
  switch (step.kind) {
    case Step::Kind::node:
      return placeNode(step.inner, offer, origin, answer);
    case Step::Kind::padding: {
      const EdgeInsets e = insets(std::get<PaddingModifier>(*step.modifier));
      LayoutNode node{frame, Padding{}, {}};
      node.children.push_back(place(
          step.inner,
          {shrunk(offer.width, e.leading + e.trailing), shrunk(offer.height, e.top + e.bottom)},
          offset(origin, {e.leading, e.top})));
      return node;
    }
    case Step::Kind::frame: {
      const auto& modifier = std::get<FrameModifier>(*step.modifier);
      const auto width = frameLength(modifier.width, offer.width);
      const auto height = frameLength(modifier.height, offer.height);
      const ProposedSize inner{width ? width : offer.width, height ? height : offer.height};
      const Size child = size(step.inner, inner);
      LayoutNode node{frame, Frame{}, {}};
      node.children.push_back(
          place(step.inner, inner, offset(origin, aligned(modifier.alignment, answer, child))));
      return node;
    }
    case Step::Kind::background: {
      const auto& modifier = std::get<BackgroundModifier>(*step.modifier);
      // The background sees the environment where the modifier is, not the content's own.
      const Ref background = childRef(*modifier.content, step.inner.env, std::nullopt);
      const ProposedSize exactly{answer.width, answer.height};
      const Size backgroundSize = size(background, exactly);
      LayoutNode node{frame, Background{}, {}};
      node.children.push_back(
          place(background, exactly,
                offset(origin, aligned(modifier.alignment, answer, backgroundSize))));
      node.children.push_back(place(step.inner, offer, origin));
      return node;
    }
    case Step::Kind::clip: {
      LayoutNode node{frame, Clip{std::get<ClipShapeModifier>(*step.modifier).shape}, {}};
      node.children.push_back(place(step.inner, offer, origin));
      return node;
    }
    case Step::Kind::aspectRatio:
      // Nothing to draw of its own: the view takes the box it was offered.
      return place(step.inner, aspectOffer(step, offer), origin);
  }
  return {frame, Empty{}, {}};
}

Size Engine::nodeSize(const Ref& node, ProposedSize offer) {
  return std::visit(
      Overloaded{
          [](const EmptyView&) { return Size{}; },
          [&](const VStackNode& stack) {
            return this->stack(node, Axis::vertical, stack.spacing, offer).size;
          },
          [&](const HStackNode& stack) {
            return this->stack(node, Axis::horizontal, stack.spacing, offer).size;
          },
          [&](const ZStackNode&) {
            Size union_;
            for (const View& child : node.view->children()) {
              const Size s = size(childRef(child, node.env, std::nullopt), offer);
              union_ = {std::max(union_.width, s.width), std::max(union_.height, s.height)};
            }
            return union_;
          },
          [&](const TextNode&) { return text(node, offer).size; },
          [&](const ImageNode&) { return image(node, offer).size; },
          [&](const ProgressViewNode&) {
            return Size{offer.width.value_or(idealProgressBarWidth), progressBarHeight};
          },
          [&](const SpacerNode&) { return spacer(node, offer); },
          [&](const RoundedRectangle&) {
            return Size{offer.width.value_or(idealShapeSide),
                        offer.height.value_or(idealShapeSide)};
          },
      },
      node.view->node());
}

LayoutNode Engine::placeNode(const Ref& node, ProposedSize offer, Point origin, Size size) {
  const Rect frame = snapped(origin, size);
  const auto placeStack = [&](Axis axis, std::optional<double> spacing, auto alignment) {
    const StackPlan plan = stack(node, axis, spacing, offer);
    LayoutNode result{
        frame,
        Stack{axis == Axis::horizontal ? Stack::Kind::horizontal : Stack::Kind::vertical},
        {}};
    double position = axis == Axis::horizontal ? origin.x : origin.y;
    bool first = true;
    for (std::size_t i = 0; i < plan.children.size(); ++i) {
      const Size child = plan.sizes[i];
      const bool absent = isAbsent(*plan.children[i].view);
      if (!absent && !first) position += plan.spacing;
      const double cross = (axis == Axis::horizontal ? origin.y : origin.x) +
                           aligned(alignment, across(size, axis) - across(child, axis));
      const Point at = axis == Axis::horizontal ? Point{position, cross} : Point{cross, position};
      if (absent) {
        result.children.push_back({{at.x, at.y, 0, 0}, Empty{}, {}});
        continue;
      }
      result.children.push_back(place(plan.children[i], plan.offers[i], at));
      position += along(child, axis);
      first = false;
    }
    return result;
  };

  return std::visit(
      Overloaded{
          [&](const EmptyView&) {
            return LayoutNode{frame, Empty{}, {}};
          },
          [&](const VStackNode& stack) {
            return placeStack(Axis::vertical, stack.spacing, stack.alignment);
          },
          [&](const HStackNode& stack) {
            return placeStack(Axis::horizontal, stack.spacing, stack.alignment);
          },
          [&](const ZStackNode& stack) {
            LayoutNode result{frame, Stack{Stack::Kind::depth}, {}};
            for (const View& child : node.view->children()) {
              const Ref ref = childRef(child, node.env, std::nullopt);
              const Size s = this->size(ref, offer);
              result.children.push_back(
                  place(ref, offer, offset(origin, aligned(stack.alignment, size, s))));
            }
            return result;
          },
          [&](const TextNode&) {
            return LayoutNode{frame, std::move(text(node, offer).payload), {}};
          },
          [&](const ImageNode&) {
            Image payload = image(node, offer).payload;
            payload.imageRect =
                snapped(offset(origin, payload.imageRect.origin()), payload.imageRect.size());
            return LayoutNode{frame, std::move(payload), {}};
          },
          [&](const ProgressViewNode& progress) {
            // The view's own value is left as given; only the drawn fraction is pinned.
            const double fraction = progress.value / progress.total;
            return LayoutNode{frame,
                              Progress{fraction > 0 ? std::min(fraction, 1.0) : 0.0, node.env.tint,
                                       node.env.tintColor},
                              {}};
          },
          [&](const SpacerNode&) {
            return LayoutNode{frame, Spacer{}, {}};
          },
          [&](const RoundedRectangle& shape) {
            const auto* fill = ownModifier<FillModifier>(node);
            return LayoutNode{
                frame,
                Shape{shape, fill ? std::optional<ShapeStyle>(fill->style) : node.env.foreground},
                {}};
          },
      },
      node.view->node());
}

// The stack algorithm, for either axis.
Engine::StackPlan Engine::stack(const Ref& node, Axis axis, std::optional<double> spacing,
                                ProposedSize offer) {
  StackPlan plan;
  plan.spacing = given(spacing.value_or(defaultStackSpacing), defaultStackSpacing);
  const auto& children = node.view->children();
  plan.children.reserve(children.size());
  for (const View& child : children) plan.children.push_back(childRef(child, node.env, axis));
  plan.offers.assign(children.size(), ProposedSize{});
  plan.sizes.assign(children.size(), Size{});

  std::vector<std::size_t> present;
  for (std::size_t i = 0; i < children.size(); ++i) {
    if (!isAbsent(children[i])) present.push_back(i);
  }
  const double spacingTotal =
      present.size() > 1 ? plan.spacing * static_cast<double>(present.size() - 1) : 0;
  const std::optional<double> length = along(offer, axis);
  const std::optional<double> crossOffer = across(offer, axis);

  if (!length) {
    // Asked for its ideal size, the stack asks its children for theirs.
    for (std::size_t i : present) {
      plan.offers[i] = proposal(std::nullopt, crossOffer, axis);
      plan.sizes[i] = size(plan.children[i], plan.offers[i]);
    }
  } else {
    struct Entry {
      std::size_t index;
      double priority;
      double flexibility;
      double minimum;
    };
    std::vector<Entry> entries;
    entries.reserve(present.size());
    for (std::size_t i : present) {
      const double least = along(size(plan.children[i], proposal(0.0, crossOffer, axis)), axis);
      const double most = along(size(plan.children[i], proposal(infinity, crossOffer, axis)), axis);
      entries.push_back({i, layoutPriority(plan.children[i]), most - least, least});
    }
    // Higher priority first; within one, the least flexible first, ties in the stack's order.
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
      return a.priority != b.priority ? a.priority > b.priority : a.flexibility < b.flexibility;
    });
    double remaining = *length - spacingTotal;
    for (std::size_t group = 0; group < entries.size();) {
      std::size_t groupEnd = group;
      while (groupEnd < entries.size() && entries[groupEnd].priority == entries[group].priority) {
        ++groupEnd;
      }
      double reserved = 0;
      for (std::size_t k = groupEnd; k < entries.size(); ++k) reserved += entries[k].minimum;
      double groupRemaining = remaining - reserved;
      for (std::size_t k = group; k < groupEnd; ++k) {
        const std::size_t i = entries[k].index;
        const double share = groupRemaining / static_cast<double>(groupEnd - k);
        plan.offers[i] = proposal(std::max(share, 0.0), crossOffer, axis);
        plan.sizes[i] = size(plan.children[i], plan.offers[i]);
        groupRemaining -= along(plan.sizes[i], axis);
        remaining -= along(plan.sizes[i], axis);
      }
      group = groupEnd;
    }
  }

  double total = spacingTotal;
  double cross = 0;
  for (std::size_t i : present) {
    total += along(plan.sizes[i], axis);
    cross = std::max(cross, across(plan.sizes[i], axis));
  }
  plan.size = answered(axis == Axis::horizontal ? Size{total, cross} : Size{cross, total});
  return plan;
}

Engine::TextResult Engine::text(const Ref& node, ProposedSize offer) {
  const auto& textNode = std::get<TextNode>(node.view->node());
  std::string resolved;
  std::string_view content;
  if (const auto* verbatim = std::get_if<std::string>(&textNode.content)) {
    content = *verbatim;
  } else {
    resolved = std::get<LocalizedStringKey>(textNode.content).resolved(strings_);
    content = resolved;
  }
  const Font font = node.env.font.value_or(Font::system(bodyPointSize));
  const std::optional<double> width =
      offer.width && std::isfinite(*offer.width) ? offer.width : std::nullopt;
  const std::optional<int> limit = node.env.lineLimit;
  const int lines = limit ? std::clamp(*limit, 1, maxTextLines) : maxTextLines;
  const double minimumScale = minimumScaleFactor(node.env);

  TextRequest request{content, textNode.monospacedDigit ? font.monospacedDigit() : font, 1, width,
                      lines};
  const auto at = [&](double scale) {
    request.scale = scale;
    return measurer_.measure(request);
  };

  // The height offered is not consulted: a text answers the lines it keeps, and what holds it
  // clips it or lets it overflow.
  double scale = 1;
  TextLayout laid = at(1);
  // Only a text with a line limit shrinks, and only to fit a width.
  if (laid.truncated && limit && width && minimumScale < 1) {
    TextLayout smallest = at(minimumScale);
    scale = minimumScale;
    if (!smallest.truncated) {
      // It fits somewhere in [minimumScale, 1): the unwrapped width gives the exact scale for one
      // line (lengths are proportional to the scale) and an upper bound for more; a bisection
      // takes over where wrapping makes the estimate miss.
      double fits = minimumScale;
      double tooLarge = 1;
      TextRequest unwrapped = request;
      unwrapped.scale = 1;
      unwrapped.maxWidth = std::nullopt;
      const double natural = measurer_.measure(unwrapped).size.width;
      TextLayout best = std::move(smallest);
      bool settled = false;
      if (natural > 0) {
        const double estimate = *width * static_cast<double>(lines) / natural;
        if (estimate > fits && estimate < tooLarge) {
          TextLayout tried = at(estimate);
          if (!tried.truncated) {
            fits = estimate;
            best = std::move(tried);
            settled = true;
          } else {
            tooLarge = estimate;
          }
        }
      }
      for (int step = 0; !settled && step < 12 && tooLarge - fits > 1e-4; ++step) {
        const double middle = (fits + tooLarge) / 2;
        TextLayout tried = at(middle);
        if (tried.truncated) {
          tooLarge = middle;
        } else {
          fits = middle;
          best = std::move(tried);
        }
      }
      scale = fits;
      laid = std::move(best);
    } else {
      laid = std::move(smallest);
    }
  }

  TextResult result;
  result.size = answered(laid.size);
  result.payload.lines = std::move(laid.lines);
  result.payload.font = font;
  result.payload.scale = scale;
  result.payload.truncated = laid.truncated;
  result.payload.foreground = node.env.foreground.value_or(HierarchicalShapeStyle::primary);
  result.payload.monospacedDigit = font.hasMonospacedDigits() || textNode.monospacedDigit;
  return result;
}

Engine::ImageResult Engine::image(const Ref& node, ProposedSize offer) const {
  const auto& imageNode = std::get<ImageNode>(node.view->node());
  Size natural;
  if (const auto* pixels = std::get_if<image::UIImage>(&imageNode.source)) {
    natural = {static_cast<double>(pixels->width()), static_cast<double>(pixels->height())};
  } else {
    const double side = answered(symbolImageSide(node.env.font));
    natural = {side, side};
  }

  ImageResult result;
  result.payload.source = imageNode.source;
  result.payload.foreground = node.env.foreground.value_or(HierarchicalShapeStyle::primary);
  if (std::holds_alternative<std::string>(imageNode.source)) result.payload.font = node.env.font;

  const auto* resizable = ownModifier<ResizableModifier>(node);
  const auto* aspect = ownModifier<AspectRatioModifier>(node);
  if (!resizable) {
    result.size = natural;
    result.payload.imageRect = {0, 0, natural.width, natural.height};
    return result;
  }
  result.payload.capInsets = resizable->capInsets;
  if (!aspect) {
    result.size =
        answered(Size{offer.width.value_or(natural.width), offer.height.value_or(natural.height)});
    result.payload.mode =
        resizable->resizingMode == ResizingMode::tile ? ImageMode::tile : ImageMode::stretch;
    result.payload.imageRect = {0, 0, result.size.width, result.size.height};
    return result;
  }
  const double ratio = ratioOf(aspect->ratio, natural);
  const Size box = ratioBox(ratio, offer, natural);
  const Size scaled = answered(withRatio(ratio, aspect->contentMode, box));
  if (aspect->contentMode == ContentMode::fit) {
    result.size = scaled;
    result.payload.mode = ImageMode::fit;
    result.payload.imageRect = {0, 0, scaled.width, scaled.height};
  } else {
    // The frame is the offer; the pixels cover it and spill over evenly on the long side.
    result.size = answered(box);
    result.payload.mode = ImageMode::fill;
    result.payload.imageRect = {(result.size.width - scaled.width) / 2 + 0.0,
                                (result.size.height - scaled.height) / 2 + 0.0, scaled.width,
                                scaled.height};
  }
  return result;
}

Size Engine::spacer(const Ref& node, ProposedSize offer) const {
  const auto& spacerNode = std::get<SpacerNode>(node.view->node());
  const double asked = spacerNode.minLength.value_or(defaultSpacerMinLength);
  const double minimum = answered(std::isnan(asked) ? defaultSpacerMinLength : asked);
  if (!node.stackAxis) return {minimum, minimum};
  const double length = std::max(along(offer, *node.stackAxis).value_or(minimum), minimum);
  return node.stackAxis == Axis::horizontal ? Size{length, 0} : Size{0, length};
}

}  // namespace

LayoutNode layout(const View& view, ProposedSize proposal, const TextMeasurer& measurer,
                  const Environment& environment) {
  Engine engine(measurer, environment.strings);
  Env env;
  env.font = environment.font;
  return engine.place(childRef(view, env, std::nullopt), proposal, {0, 0});
}

}  // namespace ui::layout
