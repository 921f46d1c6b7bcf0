#pragma once

#include "platform/host/serve/device/simulated_device.hpp"
#include "platform/host/serve/store/push_store.hpp"

#include <string>

namespace host::serve {

// The page API's forms of the history's records, one line of JSON each.
std::string deliveryJson(const Delivery& delivery);
// `bodyBytes` is there when the payload is cut: what the sender sent.
// {"pushes": N, "verdicts": {"applied": N, ...}, "last": {"apnsId", "time", "verdict"} or null}
std::string tallyJson(const ActivityTally& tally);
std::string pushJson(const HistoryEntry& push);
// The activity with its phone's other activities as `store` has them.
std::string activityJson(PushStore& store, const ActivityRecord& activity,
                         std::int64_t deviceNowMs);
// With where it is in its life at `deviceNowMs` (the devices' clock), and whether it holds its
// phone's Dynamic Island.
std::string activityJson(const ActivityRecord& activity, std::int64_t deviceNowMs,
                         bool holdsIsland);
// Activities of any phones, each with whether it holds its phone's island.
std::string activitiesJson(const std::vector<ActivityRecord>& activities, std::int64_t deviceNowMs);
std::string deviceJson(const DeviceView& device);
std::string clockJson(std::int64_t offsetMs, std::int64_t deviceNowMs);

}  // namespace host::serve
