#pragma once

#include "platform/host/device/presentation.hpp"
#include "platform/host/input/activity_event.hpp"

#include <array>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

namespace host {

// What --presentation names: one presentation or surface, the island's four, the phone's five
// (all), or those and every surface (everything).
enum class PresentationChoice {
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
  island,
  all,
  everything,
};

std::span<const std::pair<std::string_view, PresentationChoice>> presentationChoices();
std::vector<Presentation> presentationsOf(PresentationChoice choice);

}  // namespace host
