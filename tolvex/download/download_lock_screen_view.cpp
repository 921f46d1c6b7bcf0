#include "tolvex/download/download_lock_screen_view.hpp"

#include "tolvex/presentation/app_icon.hpp"
#include "tolvex/presentation/lock_screen_card.hpp"
#include "tolvex/presentation/percent_text.hpp"

namespace tolvex {

using ui::HorizontalAlignment;
using ui::VerticalAlignment;

ui::LocalizedStringKey transferLine(const DownloadLiveActivityAttributes::ContentState& state) {
  ui::LocalizedStringKey key;
  key.literal("").argument(state.transferredText).literal(" / ").argument(state.totalText).literal(
      "");
  return key;
}

ui::View DownloadLockScreenView(
    const widgets::ActivityViewContext<DownloadLiveActivityAttributes>& context) {
  const auto& state = context.state;
  const auto secondary = ui::HierarchicalShapeStyle::secondary;
  const std::string percent = percentText(state.progress);

  return lockScreenCard(ui::VStack(
      HorizontalAlignment::leading, 10,
      ui::HStack(
          VerticalAlignment::center, 12,
          AppIconView(state.appIconBase64, context.images, 44, AppIconPlaceholder(44)),
          ui::VStack(HorizontalAlignment::leading, 3,
                     ui::Text(state.fileName)
                         .font(ui::Font::subheadline.weight(ui::Font::Weight::semibold))
                         .lineLimit(1)
                         .minimumScaleFactor(0.8),
                     ui::HStack(VerticalAlignment::center, 6,
                                ui::Text(state.statusText)
                                    .font(ui::Font::caption)
                                    .foregroundStyle(secondary),
                                ui::Text(percent)
                                    .font(ui::Font::caption.monospacedDigit())
                                    .foregroundStyle(secondary))),
          ui::Spacer(8),
          ui::Text(state.etaText)
              .font(ui::Font::caption.monospacedDigit())
              .foregroundStyle(secondary)),
      ui::ProgressView(state.progress, 1.0).tint(ui::Color::blue),
      ui::HStack(VerticalAlignment::center, 8,
                 ui::Text(transferLine(state)).font(ui::Font::caption2).foregroundStyle(secondary),
                 ui::Spacer(),
                 ui::Text(percent)
                     .font(ui::Font::caption2.monospacedDigit())
                     .foregroundStyle(secondary))));
}

}  // namespace tolvex
