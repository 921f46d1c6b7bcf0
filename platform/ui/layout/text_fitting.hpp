#pragma once

#include "platform/ui/layout/environment_values.hpp"
#include "platform/ui/layout/layout_tree.hpp"
#include "platform/ui/layout/text_measurer.hpp"
#include "platform/ui/localized_string_key.hpp"
#include "platform/ui/view.hpp"

namespace ui::layout::detail {

struct FittedText {
  Size size;
  Text payload;
};

// A text in the width offered: wrapped, or within its line limit first shrunk towards its minimum
// scale factor and then cut off with "…". The height offered is not consulted.
FittedText fitText(const TextNode& text, const EnvironmentValues& env, ProposedSize offer,
                   const TextMeasurer& measurer, const StringTable& strings);

}  // namespace ui::layout::detail
