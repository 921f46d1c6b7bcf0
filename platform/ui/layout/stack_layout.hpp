#pragma once

#include "platform/ui/layout/layout_tree.hpp"
#include "platform/ui/layout/view_ref.hpp"

namespace ui::layout::detail {

class Engine;

// An HStack or VStack: sizing and placing share one plan, so the two cannot disagree.
Size stackSize(Engine& engine, const ViewRef& node, ProposedSize offer);
LayoutNode placeStack(Engine& engine, const ViewRef& node, ProposedSize offer, Point origin,
                      Size size);

// A ZStack: every child is offered the stack's offer; the stack is their union.
Size zStackSize(Engine& engine, const ViewRef& node, ProposedSize offer);
LayoutNode placeZStack(Engine& engine, const ViewRef& node, ProposedSize offer, Point origin,
                       Size size);

// A Spacer: in a stack, the offer along the stack's axis but at least its minimum length, and
// nothing across it; elsewhere its minimum both ways.
Size spacerSize(const ViewRef& node, ProposedSize offer);

}  // namespace ui::layout::detail
