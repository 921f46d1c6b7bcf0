#pragma once

#include "platform/host/device_profile.hpp"
#include "platform/ui/layout/text_measurer.hpp"
#include "platform/ui/render/appearance.hpp"
#include "platform/ui/render/display_list.hpp"
#include "platform/ui/view.hpp"
#include "platform/widgets/dynamic_island.hpp"

#include <string>
#include <vector>

namespace host {

enum class Presentation { lockScreen, expanded, compactLeading, compactTrailing, minimal };

// "lockscreen", "expanded", ... as the command line names them.
std::string_view presentationName(Presentation presentation);

// What one activity shows for one content state.
struct ActivityPresentations {
  ui::View lockScreen;
  widgets::DynamicIsland island;
};

// One presentation drawn as the phone shows it: the Lock Screen card in its container on a
// wallpaper-like backdrop, or the island at the top of the screen (always black, its content in
// the dark appearance, the keyline tint drawn in the dark appearance). Compact leading and compact
// trailing are drawn together, as the compact island shows both.
ui::render::DisplayList scene(const ActivityPresentations& activity, Presentation presentation,
                              const DeviceProfile& device, ui::render::Appearance appearance,
                              const ui::layout::TextMeasurer& measurer);

// Scenes arranged on one sheet: a row per presentation, a column per appearance, labelled.
ui::render::DisplayList sheet(const ActivityPresentations& activity,
                              const std::vector<Presentation>& presentations,
                              const std::vector<ui::render::Appearance>& appearances,
                              const DeviceProfile& device,
                              const ui::layout::TextMeasurer& measurer);

}  // namespace host
