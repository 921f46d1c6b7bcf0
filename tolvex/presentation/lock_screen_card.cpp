#include "tolvex/presentation/lock_screen_card.hpp"

namespace tolvex {

ui::View lockScreenCard(ui::View stack) {
  return std::move(stack)
      .padding(ui::EdgeSet::vertical, 12)
      .padding(ui::EdgeSet::horizontal, 16)
      .background(ui::Alignment::center,
                  ui::RoundedRectangle{16, ui::RoundedCornerStyle::continuous}.fill(
                      ui::Color::fromUIColor(ui::Color::UIColor::systemBackground).opacity(0.92)));
}

}  // namespace tolvex
