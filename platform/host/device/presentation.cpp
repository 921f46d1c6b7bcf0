#include "platform/host/device/presentation.hpp"

namespace host {
namespace {

constexpr std::array<std::pair<std::string_view, Presentation>, 10> names{{
    {"lockscreen", Presentation::lockScreen},
    {"expanded", Presentation::expanded},
    {"compact-leading", Presentation::compactLeading},
    {"compact-trailing", Presentation::compactTrailing},
    {"minimal", Presentation::minimal},
    {"standby", Presentation::standBy},
    {"standby-night", Presentation::standByNight},
    {"always-on", Presentation::alwaysOn},
    {"smart-stack", Presentation::smartStack},
    {"carplay", Presentation::carPlay},
}};

}  // namespace

std::span<const std::pair<std::string_view, Presentation>> presentationNames() {
  return names;
}

std::string_view presentationName(Presentation presentation) {
  return names[static_cast<std::size_t>(presentation)].first;
}

const ui::View* presentationView(const ActivityPresentations& activity, Presentation presentation) {
  switch (presentation) {
    case Presentation::lockScreen:
    case Presentation::standBy:
    case Presentation::standByNight:
    case Presentation::alwaysOn:
      return &activity.lockScreen;
    case Presentation::smartStack:
    case Presentation::carPlay:
    case Presentation::expanded:
      return nullptr;
    case Presentation::compactLeading:
      return &activity.island.compactLeading();
    case Presentation::compactTrailing:
      return &activity.island.compactTrailing();
    case Presentation::minimal:
      return &activity.island.minimal();
  }
  return nullptr;
}

ActivityPresentations buildPresentations(const ActivityEvent& event, image::ImageCache& images) {
  const widgets::ActivityType& type = *event.type;
  const std::any attributes = event.attributes ? *event.attributes : type.defaultAttributes();
  // "SignLiveActivityAttributes" is shown as "Sign".
  std::string title = type.name;
  for (std::string_view suffix : {"LiveActivityAttributes", "Attributes"}) {
    if (title.size() > suffix.size() && title.ends_with(suffix)) {
      title.resize(title.size() - suffix.size());
      break;
    }
  }
  return {type.lockScreen(attributes, *event.contentState, images),
          type.dynamicIsland(attributes, *event.contentState, images), std::move(title)};
}

}  // namespace host
