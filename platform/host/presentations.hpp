#pragma once

#include "platform/host/device/presentation.hpp"
#include "platform/host/input/activity_event.hpp"

#include <array>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

namespace host {

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
