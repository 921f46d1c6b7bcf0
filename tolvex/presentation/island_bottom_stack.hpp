#pragma once

#include "platform/ui/view.hpp"

#include <utility>

namespace tolvex {

// The expanded island's bottom region, in both activities: a leading-aligned stack of the given
// children, padded 12 at the sides only.
template <class... Children>
ui::View IslandBottomStack(double spacing, Children&&... children) {
  return ui::VStack(ui::HorizontalAlignment::leading, spacing, std::forward<Children>(children)...)
      .padding(ui::EdgeSet::horizontal, 12);
}

}  // namespace tolvex
