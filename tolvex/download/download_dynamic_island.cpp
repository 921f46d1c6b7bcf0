#include "tolvex/download/download_dynamic_island.hpp"

#include "tolvex/download/download_lock_screen_view.hpp"
#include "tolvex/presentation/app_icon.hpp"
#include "tolvex/presentation/percent_text.hpp"
#include "tolvex/presentation/island_bottom_stack.hpp"

namespace tolvex {
namespace {

ui::View icon(const widgets::ActivityViewContext<DownloadLiveActivityAttributes>& context,
              double size) {
  return AppIconView(context.state.appIconBase64, context.images, size, AppIconPlaceholder(size));
}

}  // namespace

widgets::DynamicIsland DownloadDynamicIsland(
    const widgets::ActivityViewContext<DownloadLiveActivityAttributes>& context) {
  const auto& state = context.state;
  const auto secondary = ui::HierarchicalShapeStyle::secondary;
  const std::string percent = percentText(state.progress);

  ui::View center =
      ui::HStack(ui::VerticalAlignment::center, 10, icon(context, 24),
                 ui::VStack(ui::HorizontalAlignment::leading, 2,
                            ui::Text(state.fileName)
                                .font(ui::Font::caption.weight(ui::Font::Weight::semibold))
                                .lineLimit(1),
                            ui::Text(state.statusText)
                                .font(ui::Font::caption2)
                                .foregroundStyle(secondary)
                                .lineLimit(1)),
                 ui::Spacer(8), ui::Text(percent).font(ui::Font::headline).monospacedDigit())
          .padding(ui::EdgeSet::horizontal, 12);

  ui::View bottom = IslandBottomStack(
      7, ui::ProgressView(state.progress, 1.0).tint(ui::Color::blue),
      ui::HStack(ui::VerticalAlignment::center, 8,
                 ui::Text(transferLine(state))
                     .font(ui::Font::caption2)
                     .foregroundStyle(secondary)
                     .lineLimit(1),
                 ui::Spacer(),
                 ui::Text(state.etaText)
                     .font(ui::Font::caption2.monospacedDigit())
                     .foregroundStyle(secondary)));

  std::vector<widgets::DynamicIslandExpandedRegion> expanded;
  expanded.push_back({widgets::DynamicIslandExpandedRegionPosition::center, 0, std::move(center)});
  expanded.push_back({widgets::DynamicIslandExpandedRegionPosition::bottom, 0, std::move(bottom)});

  return widgets::DynamicIsland(std::move(expanded), icon(context, 20),
                                ui::Text(percent).font(ui::Font::footnote).monospacedDigit(),
                                icon(context, 16))
      .keylineTint(ui::Color::blue);
}

}  // namespace tolvex
