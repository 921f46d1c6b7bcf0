#include "platform/host/presentations.hpp"

namespace host {
namespace {

constexpr std::array<std::pair<std::string_view, PresentationChoice>, 7> choices{{
    {"lockscreen", PresentationChoice::lockScreen},
    {"expanded", PresentationChoice::expanded},
    {"compact-leading", PresentationChoice::compactLeading},
    {"compact-trailing", PresentationChoice::compactTrailing},
    {"minimal", PresentationChoice::minimal},
    {"island", PresentationChoice::island},
    {"all", PresentationChoice::all},
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
    default:
      // The first five choices are the presentations themselves, in the same order.
      return {static_cast<Presentation>(choice)};
  }
}

}  // namespace host
