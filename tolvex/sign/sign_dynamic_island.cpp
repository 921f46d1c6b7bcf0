#include "tolvex/sign/sign_dynamic_island.hpp"

#include "tolvex/presentation/app_icon.hpp"
#include "tolvex/presentation/percent_text.hpp"
#include "tolvex/presentation/status_classification.hpp"
#include "tolvex/presentation/island_bottom_stack.hpp"

namespace tolvex {
namespace {

using State = SignLiveActivityAttributes::ContentState;
using Context = widgets::ActivityViewContext<SignLiveActivityAttributes>;

// The icon, or the status badge where none decodes: footnote above size 16, caption2 below.
ui::View iconOrBadge(const Context& context, double size) {
  const State& state = context.state;
  return AppIconView(
      state.appIconBase64, context.images, size,
      ui::Text(statusBadge(state)).font(size > 16 ? ui::Font::footnote : ui::Font::caption2));
}

}  // namespace

widgets::DynamicIsland SignDynamicIsland(
    const widgets::ActivityViewContext<SignLiveActivityAttributes>& context) {
  const State& state = context.state;
  const ui::Color tone = statusColor(state);

  ui::View center =
      ui::HStack(ui::VerticalAlignment::center, 8,
                 ui::Text(state.statusText).font(ui::Font::headline).foregroundStyle(tone),
                 ui::Spacer(6),
                 ui::Text(percentText(state.progress)).font(ui::Font::headline.monospacedDigit()))
          .padding(ui::EdgeSet::horizontal, 12);

  ui::View bottom = IslandBottomStack(
      6, ui::Text(state.appName).font(ui::Font::caption).lineLimit(1),
      ui::Text(state.detailText)
          .font(ui::Font::caption2)
          .foregroundStyle(ui::HierarchicalShapeStyle::secondary)
          .lineLimit(1),
      ui::ProgressView(state.progress, 1.0).tint(ui::AnyShapeStyle{tone}));

  std::vector<widgets::DynamicIslandExpandedRegion> expanded;
  expanded.push_back({widgets::DynamicIslandExpandedRegionPosition::center, 0, std::move(center)});
  expanded.push_back({widgets::DynamicIslandExpandedRegionPosition::bottom, 0, std::move(bottom)});

  return widgets::DynamicIsland(
             std::move(expanded), iconOrBadge(context, 20),
             ui::Text(percentText(state.progress)).font(ui::Font::footnote.monospacedDigit()),
             iconOrBadge(context, 16))
      .keylineTint(tone);
}

}  // namespace tolvex
