#pragma once

#include "platform/host/input/activity_input.hpp"
#include "platform/host/serve/store/push_store.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace host::serve {

// What the phone did with a push the service accepted, and why: one delivery per activity it
// reached, or one with no activity when it reached none.
struct DeviceOutcome {
  Delivery delivery;
  std::vector<std::string> warnings;
};

// The phones behind the endpoint: each push runs through the extension's own input reader, and
// the activities' state (timestamps, stale and dismissal dates) is kept in the store.
class SimulatedDevices {
 public:
  SimulatedDevices(const ActivityRegistry& registry, PushStore& store)
      : registry_(registry), store_(store) {}

  // A push to a device token (push-to-start), or to an activity's update token with the activity
  // the store holds for it.
  DeviceOutcome deliver(const std::string& token, const std::string& bundle, std::string_view body,
                        std::int64_t nowMs, std::optional<ActivityRecord> activity);
  // A broadcast on a channel, to every activity subscribed to it: one outcome each.
  std::vector<DeviceOutcome> broadcast(const std::string& channel, std::string_view body,
                                       std::int64_t nowMs);

  // When a token belongs to an activity that has ended and left the screen, the time it ended:
  // the service no longer delivers to it.
  static std::optional<std::int64_t> unregisteredSince(const ActivityRecord& activity,
                                                       std::int64_t nowMs);

  // An activity started as an app does on the phone, from an activity document or a start
  // payload.
  std::variant<ActivityRecord, std::string> startLocally(std::string_view document,
                                                         std::int64_t nowMs);

  // The members of a payload's `aps` that the device's clock and subscriptions need.
  struct Peek;

 private:
  DeviceOutcome apply(ActivityRecord& activity, std::string_view body, const Peek& peek,
                      std::int64_t nowMs);
  const ActivityRegistry& registry_;
  PushStore& store_;
};

}  // namespace host::serve
