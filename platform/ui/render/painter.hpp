#pragma once

#include "platform/ui/layout/layout_tree.hpp"
#include "platform/ui/render/appearance.hpp"
#include "platform/ui/render/display_list.hpp"

namespace ui::render {

// Appends what a laid-out tree draws, in drawing order, with colours of the given appearance;
// (dx, dy) moves the tree to where it sits on the surface.
void paint(const layout::LayoutNode& node, Appearance appearance, double dx, double dy,
           std::vector<DisplayItem>& items);

}  // namespace ui::render
