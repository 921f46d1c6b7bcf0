#pragma once

#include "platform/host/input/activity_event.hpp"
#include "platform/image/image_cache.hpp"
#include "platform/ui/view.hpp"
#include "platform/widgets/dynamic_island.hpp"

#include <array>
#include <span>
#include <string_view>
#include <utility>

namespace host {

// The places the phone shows an activity.
enum class Presentation { lockScreen, expanded, compactLeading, compactTrailing, minimal };

inline constexpr std::array<Presentation, 5> allPresentations{
    Presentation::lockScreen, Presentation::expanded, Presentation::compactLeading,
    Presentation::compactTrailing, Presentation::minimal};

// "lockscreen", "expanded", "compact-leading", "compact-trailing", "minimal".
std::span<const std::pair<std::string_view, Presentation>> presentationNames();
std::string_view presentationName(Presentation presentation);

// What one activity shows for one content state.
struct ActivityPresentations {
  ui::View lockScreen;
  widgets::DynamicIsland island;
};

// What an event's content state presents, built by the activity's own configuration with the
// images decoded for whoever draws. A content state that arrives without its attributes is shown
// with the type's default attributes. The event must carry a content state.
ActivityPresentations buildPresentations(const ActivityEvent& event, image::ImageCache& images);

// The view a presentation shows. The expanded island has no single view (its regions are laid
// out apart): nothing for it.
const ui::View* presentationView(const ActivityPresentations& activity, Presentation presentation);

}  // namespace host
