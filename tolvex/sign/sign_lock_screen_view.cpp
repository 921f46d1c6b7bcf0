#include "tolvex/sign/sign_lock_screen_view.hpp"

#include "tolvex/presentation/app_icon.hpp"
#include "tolvex/presentation/lock_screen_card.hpp"
#include "tolvex/presentation/percent_text.hpp"
#include "tolvex/presentation/status_classification.hpp"

namespace tolvex {

using ui::HorizontalAlignment;
using ui::VerticalAlignment;

ui::View SignLockScreenView(
    const widgets::ActivityViewContext<SignLiveActivityAttributes>& context) {
  const auto& state = context.state;

  // The card shows the icon only when one decodes; otherwise the slot takes no room at all.
  std::optional<ui::View> icon;
  if (auto image = decodeAppIcon(state.appIconBase64, context.images)) {
    icon = ui::Image(std::move(*image))
               .resizable(ui::EdgeInsets{}, ui::ResizingMode::stretch)
               .frame(40, 40, ui::Alignment::center)
               .clipShape(ui::RoundedRectangle{9, ui::RoundedCornerStyle::continuous});
  }

  return lockScreenCard(ui::VStack(
      HorizontalAlignment::leading, 8,
      ui::HStack(VerticalAlignment::center, 10, std::move(icon),
                 ui::VStack(HorizontalAlignment::leading, 2,
                            ui::Text(state.appName)
                                .font(ui::Font::headline)
                                .lineLimit(1)
                                .minimumScaleFactor(0.8),
                            ui::HStack(VerticalAlignment::center, 6,
                                       ui::Text(state.statusText)
                                           .font(ui::Font::caption.weight(ui::Font::Weight::semibold))
                                           .foregroundStyle(statusColor(state)),
                                       ui::Text(percentText(state.progress))
                                           .font(ui::Font::caption.monospacedDigit())
                                           .foregroundStyle(ui::HierarchicalShapeStyle::secondary)))),
      ui::ProgressView(state.progress, 1.0).tint(ui::AnyShapeStyle{statusColor(state)}),
      ui::Text(state.detailText)
          .font(ui::Font::caption)
          .foregroundStyle(ui::HierarchicalShapeStyle::secondary)
          .lineLimit(1)));
}

}  // namespace tolvex
