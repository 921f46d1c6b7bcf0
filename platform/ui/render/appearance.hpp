#pragma once

#include "platform/ui/color.hpp"
#include "platform/ui/render/display_list.hpp"
#include "platform/ui/shape_style.hpp"

namespace ui::render {

enum class Appearance { light, dark };

// Colours resolved the way the phone draws them in an appearance (inside the island, always the
// dark one).
RGBA resolve(const Color& color, Appearance appearance);
RGBA resolve(const ShapeStyle& style, Appearance appearance);
// The unfilled part of a progress bar.
RGBA progressTrack(Appearance appearance);
// The Lock Screen container behind an activity's card.
RGBA lockScreenContainer(Appearance appearance);

}  // namespace ui::render
