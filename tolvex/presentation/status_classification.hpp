#pragma once

#include "platform/ui/color.hpp"
#include "tolvex/model/sign_live_activity_attributes.hpp"

#include <string_view>

namespace tolvex {

// The tone of a signing task's state: its code decides when it names an outcome, else its text.
ui::Color statusColor(const SignLiveActivityAttributes::ContentState& state);

// "OK", "ERR" or "..." (three full stops) for the same outcomes.
std::string_view statusBadge(const SignLiveActivityAttributes::ContentState& state);

}  // namespace tolvex
