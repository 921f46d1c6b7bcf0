#pragma once

#include "platform/host/device/device_profile.hpp"
#include "platform/host/device/presentation.hpp"
#include "platform/ui/layout/layout.hpp"
#include "platform/ui/layout/layout_tree.hpp"
#include "platform/ui/layout/text_measurer.hpp"
#include "platform/ui/render/appearance.hpp"
#include "platform/ui/render/display_list.hpp"
#include "platform/ui/render/path.hpp"

#include <optional>
#include <string>
#include <vector>

namespace host {

// One presentation laid out as the phone shows it on a device: its content where the phone puts
// it, and the chrome around it (the Lock Screen container, or the island below the camera).
// Laid out once; painted in either appearance, since the appearance changes colours, not sizes.
struct Scene {
  // A laid-out view, its origin in scene coordinates, and the region the phone gives it: what
  // goes past the region is cut off.
  struct Content {
    ui::layout::LayoutNode node;
    ui::layout::Point origin;
    ui::layout::Size region;
  };

  Presentation presentation = Presentation::lockScreen;
  // False for an island presentation on a device without the island: nothing to draw.
  bool shown = true;
  // The device it is shown on: the one asked for, or the surface's default where that one has
  // no such surface.
  const DeviceProfile* device = nullptr;
  // StandBy draws its content at twice its laid-out size.
  double contentScale = 1;
  // The Smart Stack's title above the content.
  std::string title;
  double width = 0;
  double height = 0;
  double cameraX = 0;      // the camera's left edge
  ui::render::Path shape;  // the container or the island, which clips the content
  std::optional<ui::Color> keylineTint;
  std::vector<Content> contents;
};

// Whether the device shows the presentation at all: a phone without the Dynamic Island and a
// tablet show the Lock Screen alone; the surfaces are shown on the profile surfaceDevice gives.
bool shows(const DeviceProfile& device, Presentation presentation);

// The device a presentation is shown on when `device` is asked for: the same, unless it is a
// surface the device lacks (StandBy and Always-On on a tablet or a watch, the Smart Stack off a
// watch, the dashboard off a car), which takes that surface's default profile.
const DeviceProfile& surfaceDevice(Presentation presentation, const DeviceProfile& device);

// The width of a Lock Screen scene: the screen, or on a tablet's wide screen the card with a
// margin, which is all that matters of it.
double lockScreenSceneWidth(const DeviceProfile& device);

// Compact leading and compact trailing lay out together, as the compact island shows both.
// `environment` is the phone's (its direction, its text size); the island keeps the default
// text size whatever the phone's, since nothing is known of it at other sizes.
Scene layOutScene(const ActivityPresentations& activity, Presentation presentation,
                  const DeviceProfile& device, const ui::layout::TextMeasurer& measurer,
                  const ui::layout::Environment& environment = {});

// The Lock Screen card in its container on a wallpaper-like backdrop, or the island at the top of
// the screen (always black, its content in the dark appearance, the keyline tint drawn in the
// dark appearance).
ui::render::DisplayList paint(const Scene& scene, ui::render::Appearance appearance);

// The opaque colour right behind the content: the card's container over the wallpaper, or the
// island's black, or the surface's own.
ui::render::RGBA backdrop(const Scene& scene, ui::render::Appearance appearance);
// The appearance the content is drawn in: the phone's on the Lock Screen and in StandBy by day,
// dark anywhere else.
ui::render::Appearance contentAppearance(const Scene& scene, ui::render::Appearance appearance);

}  // namespace host
