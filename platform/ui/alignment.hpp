#pragma once

#include <string_view>

namespace ui {

enum class HorizontalAlignment { leading, center, trailing };
enum class VerticalAlignment { top, center, bottom };
// The two-dimensional alignment of frames, backgrounds and ZStacks.
enum class Alignment { topLeading, top, topTrailing, leading, center, trailing, bottomLeading, bottom, bottomTrailing };

// ".leading", ".center", ... as the dump spells them.
std::string_view describe(HorizontalAlignment alignment);
std::string_view describe(VerticalAlignment alignment);
std::string_view describe(Alignment alignment);

HorizontalAlignment horizontal(Alignment alignment);
VerticalAlignment vertical(Alignment alignment);

}  // namespace ui
