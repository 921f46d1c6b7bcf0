#include "platform/ui/layout/engine.hpp"

#include "platform/ui/layout/aspect_ratio.hpp"
#include "platform/ui/layout/frame_layout.hpp"
#include "platform/ui/layout/image_layout.hpp"
#include "platform/ui/layout/number_cleaning.hpp"
#include "platform/ui/layout/overloaded.hpp"
#include "platform/ui/layout/padding_layout.hpp"
#include "platform/ui/layout/placement.hpp"
#include "platform/ui/layout/stack_layout.hpp"
#include "platform/ui/layout/text_fitting.hpp"
#include "platform/ui/platform_metrics.hpp"

#include <algorithm>

namespace ui::layout::detail {

Size Engine::size(const ViewRef& ref, ProposedSize offer) {
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

Size Engine::compute(const ViewRef& ref, ProposedSize offer) {
  const Step step = settle(ref);
  switch (step.kind) {
    case Step::Kind::node:
      return nodeSize(step.inner, offer);
    case Step::Kind::padding: {
      const PaddingLayout padding(std::get<PaddingModifier>(*step.modifier), offer);
      return padding.size(size(step.inner, padding.childOffer()));
    }
    case Step::Kind::frame: {
      const FrameLayout frame(std::get<FrameModifier>(*step.modifier), offer);
      return frame.size(size(step.inner, frame.childOffer()));
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

template <class Wrapper>
LayoutNode Engine::placeWrapped(const Wrapper& wrapper, const ViewRef& inner, Payload payload,
                                Point origin, Size size) {
  const Size child = this->size(inner, wrapper.childOffer());
  LayoutNode node{snapped(origin, size), std::move(payload), {}};
  node.children.push_back(
      place(inner, wrapper.childOffer(), offset(origin, wrapper.childPosition(size, child))));
  return node;
}

LayoutNode Engine::place(const ViewRef& ref, ProposedSize offer, Point origin) {
  offer = offered(offer);
  const Size answer = size(ref, offer);
  const Step step = settle(ref);
  switch (step.kind) {
    case Step::Kind::node:
      return placeNode(step.inner, offer, origin, answer);
    case Step::Kind::padding:
      return placeWrapped(PaddingLayout(std::get<PaddingModifier>(*step.modifier), offer),
                          step.inner, Padding{}, origin, answer);
    case Step::Kind::frame:
      return placeWrapped(FrameLayout(std::get<FrameModifier>(*step.modifier), offer), step.inner,
                          Frame{}, origin, answer);
    case Step::Kind::background: {
      const auto& modifier = std::get<BackgroundModifier>(*step.modifier);
      // The background sees the environment where the modifier is, not the content's own.
      const ViewRef background = childRef(*modifier.content, step.inner.env, std::nullopt);
      const ProposedSize exactly{answer.width, answer.height};
      const Size backgroundSize = size(background, exactly);
      LayoutNode node{snapped(origin, answer), Background{}, {}};
      node.children.push_back(
          place(background, exactly,
                offset(origin, aligned(modifier.alignment, answer, backgroundSize))));
      node.children.push_back(place(step.inner, offer, origin));
      return node;
    }
    case Step::Kind::clip: {
      LayoutNode node{
          snapped(origin, answer), Clip{std::get<ClipShapeModifier>(*step.modifier).shape}, {}};
      node.children.push_back(place(step.inner, offer, origin));
      return node;
    }
    case Step::Kind::aspectRatio:
      // Nothing to draw of its own: the view takes the box it was offered.
      return place(step.inner, aspectOffer(step, offer), origin);
  }
  return {snapped(origin, answer), Empty{}, {}};
}

Size Engine::nodeSize(const ViewRef& node, ProposedSize offer) {
  return std::visit(
      Overloaded{
          [](const EmptyView&) { return Size{}; },
          [&](const VStackNode&) { return stackSize(*this, node, offer); },
          [&](const HStackNode&) { return stackSize(*this, node, offer); },
          [&](const ZStackNode&) { return zStackSize(*this, node, offer); },
          [&](const TextNode& text) {
            return fitText(text, node.env, offer, measurer_, strings_).size;
          },
          [&](const ImageNode&) { return sizeImage(node, offer).size; },
          [&](const ProgressViewNode&) {
            return Size{offer.width.value_or(idealProgressBarWidth), progressBarHeight};
          },
          [&](const SpacerNode&) { return spacerSize(node, offer); },
          [&](const RoundedRectangle&) {
            return Size{offer.width.value_or(idealShapeSide),
                        offer.height.value_or(idealShapeSide)};
          },
      },
      node.view->node());
}

LayoutNode Engine::placeNode(const ViewRef& node, ProposedSize offer, Point origin, Size size) {
  const Rect frame = snapped(origin, size);
  return std::visit(
      Overloaded{
          [&](const EmptyView&) {
            return LayoutNode{frame, Empty{}, {}};
          },
          [&](const VStackNode&) { return placeStack(*this, node, offer, origin, size); },
          [&](const HStackNode&) { return placeStack(*this, node, offer, origin, size); },
          [&](const ZStackNode&) { return placeZStack(*this, node, offer, origin, size); },
          [&](const TextNode& text) {
            return LayoutNode{
                frame, std::move(fitText(text, node.env, offer, measurer_, strings_).payload), {}};
          },
          [&](const ImageNode&) {
            Image payload = sizeImage(node, offer).payload;
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

}  // namespace ui::layout::detail
