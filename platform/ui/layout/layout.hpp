#pragma once

#include "platform/ui/font.hpp"
#include "platform/ui/layout/geometry.hpp"
#include "platform/ui/layout/layout_tree.hpp"
#include "platform/ui/layout/text_measurer.hpp"
#include "platform/ui/localized_string_key.hpp"
#include "platform/ui/view.hpp"

#include <optional>

namespace ui::layout {

// What the host puts around the view it lays out.
struct Environment {
  // The font in force where no font modifier reaches; none: the body style, 17 points.
  std::optional<ui::Font> font;
  // Where localizable texts look their keys up.
  ui::StringTable strings;
  // Right to left mirrors the laid-out tree: what stands at the leading edge stands on the right.
  ui::LayoutDirection layoutDirection = ui::LayoutDirection::leftToRight;
  ui::DynamicTypeSize typeSize = ui::DynamicTypeSize::large;
  // Layout reads none of these; views may.
  ui::SurfaceEnvironment surface;
};

// Lays `view` out in `proposal`, parent by parent: each offers its children a size, each child
// answers the size it takes, and the parent places it. The root sits at (0, 0) with the size it
// answers, which may exceed the proposal (a text that cannot shrink enough, a fixed frame).
//
// Where the platform leaves the answer open:
// - a progress bar offered no width is idealProgressBarWidth wide, a shape idealShapeSide;
// - a Spacer outside an HStack or VStack (in a ZStack, at the root) is its minimum both ways;
// - a stack reads a child's layout priority from its outermost modifier, looking through
//   environment modifiers: a layoutPriority inside a padding or frame counts for nothing, as a
//   Spacer inside one is an ordinary view;
// - an EmptyView child without modifiers is absent from its stack, like an absent optional;
// - a text ignores the height it is offered;
// - a resizable image under aspectRatio(.fill) answers the offer, and its `imageRect` covers
//   it, spilling over evenly; under .fit it answers the fitted size;
// - an aspectRatio elsewhere offers its view the box of that ratio inside (fit) or around (fill)
//   its own offer, and leaves no node of its own.
//
// Every frame is finite. Numbers that are no numbers or out of range are made harmless where they
// enter: a proposal that is NaN is treated as none and a negative one as 0; NaN spacing, padding,
// frame lengths and minimum lengths are treated as absent (their defaults); spacing and padding
// are kept within +-maxLength; negative frame lengths and minimum lengths count as 0, and a frame
// length of +infinity as the proposal where that is finite, else as the child's. Any length
// answered is at most maxLength, so that +infinity proposals ("as much as you can take") answer
// a finite size. Lengths and positions are rounded to a millionth of a point.
//
// The measurer is asked a bounded number of times per text and proposal; the same view asked the
// same proposal twice is answered from a cache local to the call.
LayoutNode layout(const ui::View& view, ProposedSize proposal, const TextMeasurer& measurer,
                  const Environment& environment = {});

// The largest length layout answers: far past any screen, small enough to add up.
inline constexpr double maxLength = 1e9;
// The most lines a text keeps even without a line limit (the rest is cut off with "…"): far more
// than any presentation shows, and a bound on the work a huge text can cause.
inline constexpr int maxTextLines = 1000;

}  // namespace ui::layout
