#pragma once

#include "platform/ui/view.hpp"

namespace tolvex {

// The Lock Screen card both activities share: their stack padded 12 above and below, then 16 at
// the sides, on a rounded, nearly opaque system-background fill that spans the padded area.
ui::View lockScreenCard(ui::View stack);

}  // namespace tolvex
