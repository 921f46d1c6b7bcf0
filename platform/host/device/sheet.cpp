#include "platform/host/device/sheet.hpp"

#include "platform/ui/render/text_system.hpp"

#include <algorithm>
#include <string>

namespace host {

using ui::render::Appearance;
using ui::render::CornerStyle;
using ui::render::DisplayList;
using ui::render::RGBA;

DisplayList sheet(const ActivityPresentations& activity,
                  std::span<const Presentation> presentations,
                  std::span<const Appearance> appearances, const DeviceProfile& device,
                  const ui::layout::TextMeasurer& measurer,
                  const ui::layout::Environment& environment) {
  constexpr double kGap = 16;
  constexpr double kLabelHeight = 18;
  const RGBA paper{0.95, 0.95, 0.97, 1};
  const RGBA ink{0.1, 0.1, 0.12, 1};
  std::vector<Scene> scenes;
  double columnWidth = 0;
  for (Presentation presentation : presentations) {
    // Compact leading and trailing share one drawing: draw it once.
    if (presentation == Presentation::compactTrailing &&
        std::find(presentations.begin(), presentations.end(), Presentation::compactLeading) !=
            presentations.end()) {
      continue;
    }
    Scene scene = layOutScene(activity, presentation, device, measurer, environment);
    if (!scene.shown) continue;
    columnWidth = std::max(columnWidth, scene.width);
    scenes.push_back(std::move(scene));
  }
  DisplayList out{kGap + static_cast<double>(appearances.size()) * (columnWidth + kGap), kGap, {}};
  std::vector<ui::render::DisplayItem> items;
  for (const Scene& scene : scenes) {
    const Presentation presentation = scene.presentation;
    const bool compact = presentation == Presentation::compactLeading ||
                         presentation == Presentation::compactTrailing;
    double rowHeight = 0;
    for (std::size_t column = 0; column < appearances.size(); ++column) {
      const double x = kGap + static_cast<double>(column) * (columnWidth + kGap);
      DisplayList drawn = paint(scene, appearances[column]);
      std::string label =
          compact ? "compact leading and trailing" : std::string(presentationName(presentation));
      label += appearances[column] == Appearance::light ? ", light" : ", dark";
      items.push_back(ui::render::TextItem{label, ui::render::faceFor(13, 600, false), x,
                                           out.height, kLabelHeight, ink, std::nullopt});
      const double top = out.height + kLabelHeight + 4;
      ui::render::translate(drawn.items, x, top);
      items.push_back(ui::render::PushClipItem{ui::render::roundedRectangle(
          x, top, drawn.width, drawn.height, 0, CornerStyle::circular)});
      items.insert(items.end(), drawn.items.begin(), drawn.items.end());
      items.push_back(ui::render::PopClipItem{});
      rowHeight = std::max(rowHeight, kLabelHeight + 4 + drawn.height);
    }
    out.height += rowHeight + kGap;
  }
  out.items.push_back(ui::render::FillItem{
      ui::render::roundedRectangle(0, 0, out.width, out.height, 0, CornerStyle::circular), paper});
  out.items.insert(out.items.end(), items.begin(), items.end());
  return out;
}

}  // namespace host
