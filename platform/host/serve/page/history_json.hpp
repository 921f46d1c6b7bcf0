#pragma once

#include "platform/host/serve/store/push_store.hpp"

#include <string>

namespace host::serve {

// The page API's forms of the history's records, one line of JSON each.
std::string deliveryJson(const Delivery& delivery);
// `bodyBytes` is there when the payload is cut: what the sender sent.
// {"pushes": N, "verdicts": {"applied": N, ...}, "last": {"apnsId", "time", "verdict"} or null}
std::string tallyJson(const ActivityTally& tally);
std::string pushJson(const HistoryEntry& push);
std::string activityJson(const ActivityRecord& activity);

}  // namespace host::serve
