#include "platform/host/input/activity_event.hpp"

#include <array>
#include <utility>

namespace host {
namespace {

constexpr std::array<std::pair<PushEvent, std::string_view>, 3> eventNames{{
    {PushEvent::start, "start"},
    {PushEvent::update, "update"},
    {PushEvent::end, "end"},
}};

}  // namespace

std::string_view eventName(PushEvent event) {
  return eventNames[static_cast<std::size_t>(event)].second;
}

std::optional<PushEvent> pushEventNamed(std::string_view name) {
  for (const auto& [event, text] : eventNames) {
    if (text == name) return event;
  }
  return std::nullopt;
}

}  // namespace host
