#pragma once

#include "platform/host/device/presentation.hpp"
#include "platform/host/input/activity_event.hpp"

#include <array>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

namespace host {

// What an event's content state presents, built by the activity's own configuration. A content
// state that arrives without its attributes is shown with the type's default attributes. The
// event must carry a content state.
ActivityPresentations buildPresentations(const ActivityEvent& event);

// What --presentation names: one presentation, the island's four, or all five.
enum class PresentationChoice {
  lockScreen,
  expanded,
  compactLeading,
  compactTrailing,
  minimal,
  island,
  all
};

std::span<const std::pair<std::string_view, PresentationChoice>> presentationChoices();
std::vector<Presentation> presentationsOf(PresentationChoice choice);

}  // namespace host
