#pragma once

#include "platform/host/input/activity_event.hpp"
#include "platform/image/image_cache.hpp"
#include "platform/ui/view.hpp"
#include "platform/widgets/dynamic_island.hpp"

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace host {

// The places an activity is shown: the phone's five presentations, then the surfaces that show
// them elsewhere (StandBy, by day and at night; the Always-On display; a watch's Smart Stack; a
// car's dashboard).
enum class Presentation {
  lockScreen,
  expanded,
  compactLeading,
  compactTrailing,
  minimal,
  standBy,
  standByNight,
  alwaysOn,
  smartStack,
  carPlay,
};

inline constexpr std::array<Presentation, 5> allPresentations{
    Presentation::lockScreen, Presentation::expanded, Presentation::compactLeading,
    Presentation::compactTrailing, Presentation::minimal};
inline constexpr std::array<Presentation, 5> allSurfaces{
    Presentation::standBy, Presentation::standByNight, Presentation::alwaysOn,
    Presentation::smartStack, Presentation::carPlay};

// "lockscreen", "expanded", "compact-leading", "compact-trailing", "minimal", "standby",
// "standby-night", "always-on", "smart-stack", "carplay".
std::span<const std::pair<std::string_view, Presentation>> presentationNames();
std::string_view presentationName(Presentation presentation);

// What one activity shows for one content state.
struct ActivityPresentations {
  ui::View lockScreen;
  widgets::DynamicIsland island;
  // The title the watch's Smart Stack shows above it.
  std::string title = {};
};

// What an event's content state presents, built by the activity's own configuration with the
// images decoded for whoever draws. A content state that arrives without its attributes is shown
// with the type's default attributes. The event must carry a content state.
ActivityPresentations buildPresentations(const ActivityEvent& event, image::ImageCache& images);

// The view a presentation shows. The expanded island, the Smart Stack and the dashboard have no
// single view (their regions are laid out apart): nothing for them.
const ui::View* presentationView(const ActivityPresentations& activity, Presentation presentation);

}  // namespace host
