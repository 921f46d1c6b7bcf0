#pragma once

#include "platform/ui/layout/geometry.hpp"
#include "platform/ui/layout/layout_tree.hpp"
#include "platform/ui/layout/text_measurer.hpp"
#include "platform/ui/layout/view_ref.hpp"
#include "platform/ui/localized_string_key.hpp"

#include <cstdint>
#include <map>
#include <tuple>

namespace ui::layout::detail {

// One layout pass: asks each view for its size in an offer, then places it. Sizes are kept for
// the pass, because a stack asks its children several times and is itself asked several times.
class Engine {
 public:
  Engine(const TextMeasurer& measurer, const StringTable& strings)
      : measurer_(measurer), strings_(strings) {}

  // The size `ref` answers `offer`: finite, snapped, at most maxLength.
  Size size(const ViewRef& ref, ProposedSize offer);
  // `ref` and everything inside it, laid out at `origin` in `offer`.
  LayoutNode place(const ViewRef& ref, ProposedSize offer, Point origin);

 private:
  Size compute(const ViewRef& ref, ProposedSize offer);
  Size nodeSize(const ViewRef& node, ProposedSize offer);
  LayoutNode placeNode(const ViewRef& node, ProposedSize offer, Point origin, Size size);
  ProposedSize aspectOffer(const Step& step, ProposedSize offer);
  template <class Wrapper>
  LayoutNode placeWrapped(const Wrapper& wrapper, const ViewRef& inner, Payload payload,
                          Point origin, Size size);

  const TextMeasurer& measurer_;
  const StringTable& strings_;
  // By view, modifiers applied and offer. A view has one path from the root, so these fix the
  // environment too.
  using Key = std::tuple<std::uintptr_t, std::size_t, bool, double, bool, double>;
  std::map<Key, Size> sizes_;
};

}  // namespace ui::layout::detail
