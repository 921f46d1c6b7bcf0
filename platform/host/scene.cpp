#include "platform/host/scene.hpp"

#include "platform/ui/layout/layout.hpp"
#include "platform/ui/render/painter.hpp"
#include "platform/ui/render/text_system.hpp"

#include <algorithm>
#include <cmath>

namespace host {
namespace {

using ui::render::Appearance;
using ui::render::CornerStyle;
using ui::render::DisplayList;
using ui::render::FillItem;
using ui::render::RGBA;

constexpr RGBA kIslandBlack{0, 0, 0, 1};
// The camera's glass, a shade off the island's black so that its place shows.
constexpr RGBA kCameraGlass{0.09, 0.09, 0.11, 1};

// A plain wallpaper: a tone that sits behind a Lock Screen, lighter in the light appearance.
RGBA wallpaper(Appearance appearance) {
  return appearance == Appearance::light ? RGBA{0.56, 0.67, 0.82, 1} : RGBA{0.11, 0.14, 0.23, 1};
}

RGBA keyline(const widgets::DynamicIsland& island) {
  return ui::render::resolve(island.keylineTintColor().value_or(ui::Color::blue), Appearance::dark);
}

double clampHeight(double height) {
  if (!std::isfinite(height)) return ui::presentationMaxHeight;
  return std::clamp(height, ui::presentationMinHeight, ui::presentationMaxHeight);
}

ui::layout::LayoutNode lay(const ui::View& view, std::optional<double> width,
                           std::optional<double> height, const ui::layout::TextMeasurer& measurer) {
  return ui::layout::layout(view, {width, height}, measurer);
}

void fill(DisplayList& list, ui::render::Path path, RGBA color) {
  list.items.push_back(FillItem{std::move(path), color});
}

// Paints a laid-out view centred in a region, cut to the region's shape.
void place(DisplayList& list, const ui::layout::LayoutNode& node, double x, double y, double width,
           double height, const ui::render::Path& clip, Appearance appearance) {
  list.items.push_back(ui::render::PushClipItem{clip});
  const double dx = x + (width - node.frame.width) / 2;
  const double dy = y + (height - node.frame.height) / 2;
  ui::render::paint(node, appearance, dx, dy, list.items);
  list.items.push_back(ui::render::PopClipItem{});
}

DisplayList lockScreenScene(const ui::View& view, const DeviceProfile& device,
                            Appearance appearance, const ui::layout::TextMeasurer& measurer) {
  const double width = device.lockScreenWidth;
  const auto node = lay(view, width, ui::presentationMaxHeight, measurer);
  const double height = clampHeight(node.frame.height);
  DisplayList list{device.screenWidth, height + 2 * ui::lockScreenInset, {}};
  fill(list, ui::render::roundedRectangle(0, 0, list.width, list.height, 0, CornerStyle::circular),
       wallpaper(appearance));
  const auto container =
      ui::render::roundedRectangle(ui::lockScreenInset, ui::lockScreenInset, width, height,
                                   ui::lockScreenCornerRadius, CornerStyle::continuous);
  fill(list, container, ui::render::lockScreenContainer(appearance));
  // The view sits at the top of its container and is cut where the container ends.
  list.items.push_back(ui::render::PushClipItem{container});
  ui::render::paint(node, appearance, ui::lockScreenInset + (width - node.frame.width) / 2,
                    ui::lockScreenInset, list.items);
  list.items.push_back(ui::render::PopClipItem{});
  return list;
}

DisplayList screenTop(const DeviceProfile& device, double height, Appearance appearance) {
  DisplayList list{device.screenWidth, height, {}};
  fill(list, ui::render::roundedRectangle(0, 0, list.width, list.height, 0, CornerStyle::circular),
       wallpaper(appearance));
  return list;
}

void camera(DisplayList& list, const DeviceProfile& device) {
  fill(list,
       ui::render::roundedRectangle((device.screenWidth - ui::cameraWidth) / 2, ui::cameraTop,
                                    ui::cameraWidth, ui::cameraHeight, ui::cameraHeight / 2,
                                    CornerStyle::circular),
       kCameraGlass);
}

void keylineAround(DisplayList& list, const ui::render::Path& island,
                   const widgets::DynamicIsland& activity, Appearance appearance) {
  if (appearance != Appearance::dark) return;
  list.items.push_back(ui::render::StrokeItem{island, keyline(activity), ui::keylineWidth});
}

DisplayList compactScene(const widgets::DynamicIsland& island, const DeviceProfile& device,
                         Appearance appearance, const ui::layout::TextMeasurer& measurer) {
  DisplayList list =
      screenTop(device, ui::cameraTop + ui::cameraHeight + ui::cameraTop, appearance);
  const double x = (device.screenWidth - device.compactIslandWidth) / 2;
  const auto shape =
      ui::render::roundedRectangle(x, ui::cameraTop, device.compactIslandWidth, ui::compactHeight,
                                   ui::islandCornerRadius, CornerStyle::continuous);
  fill(list, shape, kIslandBlack);
  camera(list, device);
  const double side = device.compactSideWidth;
  const auto leading = lay(island.compactLeading(), side, ui::compactHeight, measurer);
  const auto trailing = lay(island.compactTrailing(), side, ui::compactHeight, measurer);
  place(list, leading, x, ui::cameraTop, side, ui::compactHeight, shape, Appearance::dark);
  place(list, trailing, x + device.compactIslandWidth - side, ui::cameraTop, side,
        ui::compactHeight, shape, Appearance::dark);
  keylineAround(list, shape, island, appearance);
  return list;
}

DisplayList minimalScene(const widgets::DynamicIsland& island, const DeviceProfile& device,
                         Appearance appearance, const ui::layout::TextMeasurer& measurer) {
  DisplayList list =
      screenTop(device, ui::cameraTop + ui::cameraHeight + ui::cameraTop, appearance);
  // Another activity holds the main island; this one shows beside it.
  camera(list, device);
  const auto node = lay(island.minimal(), std::nullopt, ui::compactHeight, measurer);
  const double width = std::clamp(std::isfinite(node.frame.width) ? node.frame.width : 0.0,
                                  ui::minimalMinWidth, ui::minimalMaxWidth);
  const double x = (device.screenWidth + ui::cameraWidth) / 2 + 8;
  const auto shape = ui::render::roundedRectangle(x, ui::cameraTop, width, ui::compactHeight,
                                                  ui::compactHeight / 2, CornerStyle::circular);
  fill(list, shape, kIslandBlack);
  place(list, node, x, ui::cameraTop, width, ui::compactHeight, shape, Appearance::dark);
  keylineAround(list, shape, island, appearance);
  return list;
}

DisplayList expandedScene(const widgets::DynamicIsland& island, const DeviceProfile& device,
                          Appearance appearance, const ui::layout::TextMeasurer& measurer) {
  const double width = device.expandedWidth;
  const double inner = width - 2 * ui::expandedMargin;
  const ui::View* center = nullptr;
  const ui::View* bottom = nullptr;
  for (const auto& region : island.expanded()) {
    if (region.position == widgets::DynamicIslandExpandedRegionPosition::center) {
      center = &region.content;
    }
    if (region.position == widgets::DynamicIslandExpandedRegionPosition::bottom) {
      bottom = &region.content;
    }
  }
  std::optional<ui::layout::LayoutNode> centerNode;
  std::optional<ui::layout::LayoutNode> bottomNode;
  if (center) centerNode = lay(*center, inner, std::nullopt, measurer);
  if (bottom) bottomNode = lay(*bottom, inner, std::nullopt, measurer);
  const double centerHeight = centerNode ? centerNode->frame.height : 0;
  const double bottomHeight = bottomNode ? bottomNode->frame.height : 0;
  const double height =
      clampHeight(ui::cameraHeight + centerHeight + bottomHeight + ui::expandedMargin * 2);

  DisplayList list = screenTop(device, ui::cameraTop * 2 + height, appearance);
  const double x = (device.screenWidth - width) / 2;
  const auto shape = ui::render::roundedRectangle(x, ui::cameraTop, width, height,
                                                  ui::islandCornerRadius, CornerStyle::continuous);
  fill(list, shape, kIslandBlack);
  camera(list, device);
  list.items.push_back(ui::render::PushClipItem{shape});
  // The center sits directly below the camera; the bottom below it.
  double y = ui::cameraTop + ui::cameraHeight;
  if (centerNode) {
    ui::render::paint(*centerNode, Appearance::dark, x + ui::expandedMargin, y, list.items);
    y += centerHeight;
  }
  if (bottomNode)
    ui::render::paint(*bottomNode, Appearance::dark, x + ui::expandedMargin, y, list.items);
  list.items.push_back(ui::render::PopClipItem{});
  keylineAround(list, shape, island, appearance);
  return list;
}

}  // namespace

std::string_view presentationName(Presentation presentation) {
  switch (presentation) {
    case Presentation::lockScreen:
      return "lockscreen";
    case Presentation::expanded:
      return "expanded";
    case Presentation::compactLeading:
      return "compact-leading";
    case Presentation::compactTrailing:
      return "compact-trailing";
    case Presentation::minimal:
      return "minimal";
  }
  return "lockscreen";
}

DisplayList scene(const ActivityPresentations& activity, Presentation presentation,
                  const DeviceProfile& device, Appearance appearance,
                  const ui::layout::TextMeasurer& measurer) {
  switch (presentation) {
    case Presentation::lockScreen:
      return lockScreenScene(activity.lockScreen, device, appearance, measurer);
    case Presentation::expanded:
      return expandedScene(activity.island, device, appearance, measurer);
    case Presentation::compactLeading:
    case Presentation::compactTrailing:
      return compactScene(activity.island, device, appearance, measurer);
    case Presentation::minimal:
      return minimalScene(activity.island, device, appearance, measurer);
  }
  return lockScreenScene(activity.lockScreen, device, appearance, measurer);
}

DisplayList sheet(const ActivityPresentations& activity,
                  const std::vector<Presentation>& presentations,
                  const std::vector<Appearance>& appearances, const DeviceProfile& device,
                  const ui::layout::TextMeasurer& measurer) {
  constexpr double kGap = 16;
  constexpr double kLabelHeight = 18;
  const RGBA paper{0.95, 0.95, 0.97, 1};
  const RGBA ink{0.1, 0.1, 0.12, 1};
  const double columnWidth = device.screenWidth;
  DisplayList out{kGap + static_cast<double>(appearances.size()) * (columnWidth + kGap), kGap, {}};
  std::vector<ui::render::DisplayItem> items;
  for (Presentation presentation : presentations) {
    // Compact leading and trailing share one drawing: draw it once.
    if (presentation == Presentation::compactTrailing &&
        std::find(presentations.begin(), presentations.end(), Presentation::compactLeading) !=
            presentations.end()) {
      continue;
    }
    double rowHeight = 0;
    for (std::size_t column = 0; column < appearances.size(); ++column) {
      const double x = kGap + static_cast<double>(column) * (columnWidth + kGap);
      const DisplayList drawn =
          scene(activity, presentation, device, appearances[column], measurer);
      std::string label(presentationName(presentation));
      if (presentation == Presentation::compactLeading ||
          presentation == Presentation::compactTrailing) {
        label = "compact leading and trailing";
      }
      label += appearances[column] == Appearance::light ? ", light" : ", dark";
      items.push_back(ui::render::TextItem{label, ui::render::faceFor(13, 600, false), x,
                                           out.height, kLabelHeight, ink});
      const double top = out.height + kLabelHeight + 4;
      DisplayList placed = drawn;
      ui::render::translate(placed.items, x, top);
      items.push_back(ui::render::PushClipItem{ui::render::roundedRectangle(
          x, top, drawn.width, drawn.height, 0, CornerStyle::circular)});
      items.insert(items.end(), placed.items.begin(), placed.items.end());
      items.push_back(ui::render::PopClipItem{});
      rowHeight = std::max(rowHeight, kLabelHeight + 4 + drawn.height);
    }
    out.height += rowHeight + kGap;
  }
  out.items.push_back(FillItem{
      ui::render::roundedRectangle(0, 0, out.width, out.height, 0, CornerStyle::circular), paper});
  out.items.insert(out.items.end(), items.begin(), items.end());
  return out;
}

}  // namespace host
