#pragma once

#include "platform/host/input/activity_registry.hpp"
#include "platform/host/serve/service/push_service.hpp"

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace host::serve {

// What a replay did, line by line.
struct ReplayedTimeline {
  std::string json;  // an array: for each line {"activity"}, {"push"} or {"error"}
  std::size_t lines = 0;
  // Lines that started nothing or whose push the device did not apply (dropped, ignored,
  // rejected); an end is applied.
  std::size_t notApplied = 0;
};

// Lines played as they would arrive, on the thread that owns `service`: a document or a start
// brings an activity up, every other line goes to it as a push through the endpoint's rules, and
// meets the fate the phone gives it (a line that does not decode is dropped, as it would be).
// `type` names the activity type of bare records.
ReplayedTimeline replayTimeline(PushService& service, const ActivityRegistry& registry,
                                std::span<const std::string_view> lines, const std::string& type);

}  // namespace host::serve
