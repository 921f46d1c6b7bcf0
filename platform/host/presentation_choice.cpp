#include "platform/host/presentation_choice.hpp"

namespace host {
namespace {

constexpr std::array<std::pair<std::string_view, PresentationChoice>, 13> choices{{
    {"lockscreen", PresentationChoice::lockScreen},
    {"expanded", PresentationChoice::expanded},
    {"compact-leading", PresentationChoice::compactLeading},
    {"compact-trailing", PresentationChoice::compactTrailing},
    {"minimal", PresentationChoice::minimal},
    {"standby", PresentationChoice::standBy},
    {"standby-night", PresentationChoice::standByNight},
    {"always-on", PresentationChoice::alwaysOn},
    {"smart-stack", PresentationChoice::smartStack},
    {"carplay", PresentationChoice::carPlay},
    {"island", PresentationChoice::island},
    {"all", PresentationChoice::all},
    {"everything", PresentationChoice::everything},
}};

}  // namespace

std::span<const std::pair<std::string_view, PresentationChoice>> presentationChoices() {
  return choices;
}

std::vector<Presentation> presentationsOf(PresentationChoice choice) {
  switch (choice) {
    case PresentationChoice::island:
      return {allPresentations.begin() + 1, allPresentations.end()};
    case PresentationChoice::all:
      return {allPresentations.begin(), allPresentations.end()};
    case PresentationChoice::everything: {
      std::vector<Presentation> every(allPresentations.begin(), allPresentations.end());
      every.insert(every.end(), allSurfaces.begin(), allSurfaces.end());
      return every;
    }
    default:
      // The first ten choices are the presentations themselves, in the same order.
      return {static_cast<Presentation>(choice)};
  }
}

}  // namespace host
