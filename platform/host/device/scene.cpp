#include "platform/host/device/scene.hpp"

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
// Chosen: the Smart Stack's and the dashboard's card, the platform's dark grouped background.
constexpr RGBA kSurfaceCard{0.11, 0.11, 0.12, 1};
// Chosen: Night Mode's red (the platform's red, 255, 59, 48) and the Always-On dimming to half
// the brightness.
constexpr RGBA kNightModeRed{1, 59 / 255.0, 48 / 255.0, 1};
constexpr double kAlwaysOnDimming = 0.5;

// A plain wallpaper: a tone that sits behind a Lock Screen, lighter in the light appearance.
RGBA wallpaper(Appearance appearance) {
  return appearance == Appearance::light ? RGBA{0.56, 0.67, 0.82, 1} : RGBA{0.11, 0.14, 0.23, 1};
}

double clampHeight(double height) {
  if (!std::isfinite(height)) return presentationMaxHeight;
  return std::clamp(height, presentationMinHeight, presentationMaxHeight);
}

// What a presentation is laid out with: the measurer and the environment the phone sets.
struct Layer {
  const ui::layout::TextMeasurer& measurer;
  const ui::layout::Environment& environment;
};

ui::layout::LayoutNode laidOut(const ui::View& view, std::optional<double> width,
                               std::optional<double> height, const Layer& layer) {
  return ui::layout::layout(view, {width, height}, layer.measurer, layer.environment);
}

// A view centred in its region.
Scene::Content centred(ui::layout::LayoutNode node, double x, double y, double width,
                       double height) {
  const double dx = x + (width - node.frame.width) / 2;
  const double dy = y + (height - node.frame.height) / 2;
  return {std::move(node), {dx, dy}, {width, height}};
}

Scene lockScreen(const ui::View& view, const DeviceProfile& device, const Layer& layer) {
  const double width = device.lockScreenWidth;
  auto node = laidOut(view, width, presentationMaxHeight, layer);
  const double height = clampHeight(node.frame.height);
  Scene scene;
  scene.width = lockScreenSceneWidth(device);
  scene.height = height + 2 * lockScreenInset;
  const double left = (scene.width - width) / 2;
  scene.shape = ui::render::roundedRectangle(left, lockScreenInset, width, height,
                                             lockScreenCornerRadius, CornerStyle::continuous);
  // The view sits at the top of its container and is cut where the container ends.
  const double x = left + (width - node.frame.width) / 2;
  scene.contents.push_back({std::move(node), {x, lockScreenInset}, {width, presentationMaxHeight}});
  return scene;
}

Scene compact(const widgets::DynamicIsland& island, const DeviceProfile& device,
              const Layer& layer) {
  Scene scene;
  scene.width = device.screenWidth;
  scene.height = cameraTop + cameraHeight + cameraTop;
  const double x = (device.screenWidth - device.compactIslandWidth) / 2;
  scene.shape = ui::render::roundedRectangle(x, cameraTop, device.compactIslandWidth, compactHeight,
                                             islandCornerRadius, CornerStyle::continuous);
  const double side = device.compactSideWidth;
  // Leading is the left end, or the right one in a right-to-left layout.
  const bool mirrored = layer.environment.layoutDirection == ui::LayoutDirection::rightToLeft;
  const double left = x;
  const double right = x + device.compactIslandWidth - side;
  scene.contents.push_back(centred(laidOut(island.compactLeading(), side, compactHeight, layer),
                                   mirrored ? right : left, cameraTop, side, compactHeight));
  scene.contents.push_back(centred(laidOut(island.compactTrailing(), side, compactHeight, layer),
                                   mirrored ? left : right, cameraTop, side, compactHeight));
  return scene;
}

Scene minimal(const widgets::DynamicIsland& island, const DeviceProfile& device,
              const Layer& layer) {
  Scene scene;
  scene.width = device.screenWidth;
  scene.height = cameraTop + cameraHeight + cameraTop;
  auto node = laidOut(island.minimal(), std::nullopt, compactHeight, layer);
  const double width = std::clamp(std::isfinite(node.frame.width) ? node.frame.width : 0.0,
                                  minimalMinWidth, minimalMaxWidth);
  // Another activity holds the main island; this one shows beside it.
  const double x = (device.screenWidth + cameraWidth) / 2 + 8;
  scene.shape = ui::render::roundedRectangle(x, cameraTop, width, compactHeight, compactHeight / 2,
                                             CornerStyle::circular);
  scene.contents.push_back(centred(std::move(node), x, cameraTop, width, compactHeight));
  scene.contents.back().region.width = minimalMaxWidth;
  return scene;
}

Scene expanded(const widgets::DynamicIsland& island, const DeviceProfile& device,
               const Layer& layer) {
  const double width = device.expandedWidth;
  const double inner = width - 2 * expandedMargin;
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
  if (center) centerNode = laidOut(*center, inner, std::nullopt, layer);
  if (bottom) bottomNode = laidOut(*bottom, inner, std::nullopt, layer);
  const double centerHeight = centerNode ? centerNode->frame.height : 0;
  const double bottomHeight = bottomNode ? bottomNode->frame.height : 0;
  const double height =
      clampHeight(cameraHeight + centerHeight + bottomHeight + expandedMargin * 2);

  Scene scene;
  scene.width = device.screenWidth;
  scene.height = cameraTop * 2 + height;
  const double x = (device.screenWidth - width) / 2;
  scene.shape = ui::render::roundedRectangle(x, cameraTop, width, height, islandCornerRadius,
                                             CornerStyle::continuous);
  // The center sits directly below the camera; the bottom below it. Both share what the island
  // has below the camera.
  const ui::layout::Size region{inner, presentationMaxHeight - cameraHeight - 2 * expandedMargin};
  double y = cameraTop + cameraHeight;
  if (centerNode) {
    scene.contents.push_back({std::move(*centerNode), {x + expandedMargin, y}, region});
    y += centerHeight;
  }
  if (bottomNode)
    scene.contents.push_back({std::move(*bottomNode), {x + expandedMargin, y}, region});
  return scene;
}

// StandBy: the Lock Screen presentation at twice its size in the middle of the phone's landscape
// screen, its container's colour extended to the whole screen.
Scene standBy(const ui::View& view, const DeviceProfile& device, const Layer& layer) {
  constexpr double factor = 2;
  const double width = device.lockScreenWidth;
  auto node = laidOut(view, width, presentationMaxHeight, layer);
  Scene scene;
  scene.width = device.screenHeight;
  scene.height = device.screenWidth;
  scene.contentScale = factor;
  scene.shape =
      ui::render::roundedRectangle(0, 0, scene.width, scene.height, 0, CornerStyle::circular);
  const double x = (scene.width - factor * width) / 2 + factor * (width - node.frame.width) / 2;
  const double y = (scene.height - factor * clampHeight(node.frame.height)) / 2;
  scene.contents.push_back({std::move(node), {x, y}, {width, presentationMaxHeight}});
  return scene;
}

// The watch's Smart Stack and the car's dashboard: compact leading and trailing side by side on
// a dark card, on the watch under a title.
Scene sideBySide(const widgets::DynamicIsland& island, const DeviceProfile& device,
                 const Layer& layer, bool titled) {
  constexpr double margin = 8;
  constexpr double titleHeight = 16;
  Scene scene;
  scene.width = device.screenWidth;
  scene.height = device.screenHeight;
  scene.shape = ui::render::roundedRectangle(0, 0, scene.width, scene.height, titled ? 16 : 12,
                                             CornerStyle::continuous);
  const double top = margin + (titled ? titleHeight + 2 : 0);
  const double height = std::max(scene.height - top - margin, 0.0);
  const double side = std::max((scene.width - 3 * margin) / 2, 0.0);
  const bool mirrored = layer.environment.layoutDirection == ui::LayoutDirection::rightToLeft;
  auto leading = laidOut(island.compactLeading(), side, height, layer);
  auto trailing = laidOut(island.compactTrailing(), side, height, layer);
  // Each sits against its own edge (leading on the right in a right-to-left layout).
  const double leadingX = mirrored ? scene.width - margin - leading.frame.width : margin;
  const double trailingX = mirrored ? margin : scene.width - margin - trailing.frame.width;
  const double leadingY = top + (height - leading.frame.height) / 2;
  const double trailingY = top + (height - trailing.frame.height) / 2;
  scene.contents.push_back({std::move(leading), {leadingX, leadingY}, {side, height}});
  scene.contents.push_back({std::move(trailing), {trailingX, trailingY}, {side, height}});
  return scene;
}

void fill(DisplayList& list, ui::render::Path path, RGBA color) {
  list.items.push_back(FillItem{std::move(path), color});
}

void paintContent(DisplayList& list, const Scene::Content& content, Appearance appearance) {
  ui::render::paint(content.node, appearance, content.origin.x, content.origin.y, list.items);
}

void camera(DisplayList& list, const Scene& scene) {
  fill(list,
       ui::render::roundedRectangle(scene.cameraX, cameraTop, cameraWidth, cameraHeight,
                                    cameraHeight / 2, CornerStyle::circular),
       kCameraGlass);
}

}  // namespace

bool shows(const DeviceProfile& device, Presentation presentation) {
  switch (presentation) {
    case Presentation::lockScreen:
      return device.lockScreenWidth > 0;
    case Presentation::expanded:
    case Presentation::compactLeading:
    case Presentation::compactTrailing:
    case Presentation::minimal:
      return device.hasIsland();
    default:
      return true;
  }
}

const DeviceProfile& surfaceDevice(Presentation presentation, const DeviceProfile& device) {
  const auto profile = [](std::string_view name) -> const DeviceProfile& {
    return *findDeviceProfile(name);
  };
  switch (presentation) {
    case Presentation::standBy:
    case Presentation::standByNight:
    case Presentation::alwaysOn:
      return device.kind == DeviceKind::phone ? device : defaultDeviceProfile();
    case Presentation::smartStack:
      return device.kind == DeviceKind::watch ? device : profile("watch-45mm");
    case Presentation::carPlay:
      return device.kind == DeviceKind::dashboard ? device : profile("carplay-240x78");
    default:
      return device;
  }
}

double lockScreenSceneWidth(const DeviceProfile& device) {
  constexpr double tabletMargin = 40;
  return std::min(device.screenWidth, device.lockScreenWidth + 2 * tabletMargin);
}

Scene layOutScene(const ActivityPresentations& activity, Presentation presentation,
                  const DeviceProfile& asked, const ui::layout::TextMeasurer& measurer,
                  const ui::layout::Environment& environment) {
  const DeviceProfile& device = surfaceDevice(presentation, asked);
  ui::layout::Environment island = environment;
  island.typeSize = ui::DynamicTypeSize::large;
  // What each surface tells the views it shows.
  ui::layout::Environment surface = environment;
  ui::layout::Environment small = island;
  small.surface.activityFamily = ui::ActivityFamily::small;
  if (presentation == Presentation::standBy || presentation == Presentation::standByNight) {
    surface.surface.isActivityFullscreen = true;
    surface.surface.showsWidgetContainerBackground = false;
  }
  if (presentation == Presentation::alwaysOn) surface.surface.isLuminanceReduced = true;
  const Layer phone{measurer, environment};
  const Layer inIsland{measurer, island};
  const Layer onSurface{measurer, surface};
  const Layer onSmallSurface{measurer, small};
  Scene scene;
  if (!shows(device, presentation)) {
    scene.presentation = presentation;
    scene.shown = false;
    scene.device = &device;
    return scene;
  }
  switch (presentation) {
    case Presentation::lockScreen:
      scene = lockScreen(activity.lockScreen, device, phone);
      break;
    case Presentation::expanded:
      scene = expanded(activity.island, device, inIsland);
      break;
    case Presentation::compactLeading:
    case Presentation::compactTrailing:
      scene = compact(activity.island, device, inIsland);
      break;
    case Presentation::minimal:
      scene = minimal(activity.island, device, inIsland);
      break;
    case Presentation::standBy:
    case Presentation::standByNight:
      scene = standBy(activity.lockScreen, device, onSurface);
      break;
    case Presentation::alwaysOn:
      scene = lockScreen(activity.lockScreen, device, onSurface);
      break;
    case Presentation::smartStack:
      scene = sideBySide(activity.island, device, onSmallSurface, true);
      scene.title = activity.title;
      break;
    case Presentation::carPlay:
      scene = sideBySide(activity.island, device, onSmallSurface, false);
      break;
  }
  scene.presentation = presentation;
  scene.device = &device;
  scene.cameraX = (device.screenWidth - cameraWidth) / 2;
  scene.keylineTint = activity.island.keylineTintColor();
  return scene;
}

DisplayList paint(const Scene& scene, Appearance appearance) {
  DisplayList list{scene.width, scene.height, {}};
  fill(list, ui::render::roundedRectangle(0, 0, list.width, list.height, 0, CornerStyle::circular),
       wallpaper(appearance));
  const auto clip = [&] { list.items.push_back(ui::render::PushClipItem{scene.shape}); };
  const auto unclip = [&] { list.items.push_back(ui::render::PopClipItem{}); };

  const ui::render::Path screen =
      ui::render::roundedRectangle(0, 0, list.width, list.height, 0, CornerStyle::circular);
  switch (scene.presentation) {
    case Presentation::lockScreen:
      fill(list, scene.shape, ui::render::lockScreenContainer(appearance));
      clip();
      for (const auto& content : scene.contents) paintContent(list, content, appearance);
      unclip();
      return list;
    case Presentation::alwaysOn: {
      // As in the dark appearance on a black wallpaper, then dimmed to half its brightness.
      list.items.clear();
      fill(list, screen, kIslandBlack);
      fill(list, scene.shape, ui::render::lockScreenContainer(Appearance::dark));
      clip();
      for (const auto& content : scene.contents) paintContent(list, content, Appearance::dark);
      unclip();
      fill(list, screen, RGBA{0, 0, 0, kAlwaysOnDimming});
      return list;
    }
    case Presentation::standBy:
    case Presentation::standByNight: {
      // Night Mode is dark, then every colour's luminance is mapped onto red on black.
      const Appearance shown =
          scene.presentation == Presentation::standByNight ? Appearance::dark : appearance;
      list.items.clear();
      fill(list, screen, ui::render::lockScreenContainer(shown));
      for (const auto& content : scene.contents) {
        std::vector<ui::render::DisplayItem> items;
        ui::render::paint(content.node, shown, 0, 0, items);
        ui::render::scale(items, scene.contentScale);
        ui::render::translate(items, content.origin.x, content.origin.y);
        list.items.insert(list.items.end(), items.begin(), items.end());
      }
      if (scene.presentation == Presentation::standByNight) {
        list.items.push_back(
            ui::render::BlendItem{screen, {0.5, 0.5, 0.5, 1}, ui::render::Blend::color});
        list.items.push_back(
            ui::render::BlendItem{screen, kNightModeRed, ui::render::Blend::multiply});
      }
      return list;
    }
    case Presentation::smartStack:
    case Presentation::carPlay: {
      // Always dark: a dark card on black.
      list.items.clear();
      fill(list, screen, kIslandBlack);
      fill(list, scene.shape, kSurfaceCard);
      if (!scene.title.empty()) {
        list.items.push_back(ui::render::TextItem{scene.title, ui::render::faceFor(13, 600, false),
                                                  8, 8, 16, RGBA{1, 1, 1, 1}, std::nullopt});
      }
      for (const auto& content : scene.contents) {
        clip();
        paintContent(list, content, Appearance::dark);
        unclip();
      }
      return list;
    }
    default:
      break;
  }

  // The island is black whatever the appearance, and its content is drawn in the dark one.
  if (scene.presentation == Presentation::minimal) {
    camera(list, scene);
    fill(list, scene.shape, kIslandBlack);
  } else {
    fill(list, scene.shape, kIslandBlack);
    camera(list, scene);
  }
  if (scene.presentation == Presentation::expanded) {
    clip();
    for (const auto& content : scene.contents) paintContent(list, content, Appearance::dark);
    unclip();
  } else {
    for (const auto& content : scene.contents) {
      clip();
      paintContent(list, content, Appearance::dark);
      unclip();
    }
  }
  if (appearance == Appearance::dark) {
    const RGBA keyline =
        ui::render::resolve(scene.keylineTint.value_or(ui::Color::blue), Appearance::dark);
    list.items.push_back(ui::render::StrokeItem{scene.shape, keyline, keylineWidth});
  }
  return list;
}

RGBA backdrop(const Scene& scene, Appearance appearance) {
  switch (scene.presentation) {
    case Presentation::lockScreen:
      return ui::render::over(ui::render::lockScreenContainer(appearance), wallpaper(appearance));
    case Presentation::standBy:
      return ui::render::over(ui::render::lockScreenContainer(appearance), kIslandBlack);
    case Presentation::standByNight:
    case Presentation::alwaysOn:
      return ui::render::over(ui::render::lockScreenContainer(Appearance::dark), kIslandBlack);
    case Presentation::smartStack:
    case Presentation::carPlay:
      return kSurfaceCard;
    default:
      return kIslandBlack;
  }
}

Appearance contentAppearance(const Scene& scene, Appearance appearance) {
  return scene.presentation == Presentation::lockScreen ||
                 scene.presentation == Presentation::standBy
             ? appearance
             : Appearance::dark;
}

}  // namespace host
