#pragma once

#include "platform/host/input/activity_input.hpp"
#include "platform/host/serve/store/push_store.hpp"

#include <atomic>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

namespace host::serve {

// What the phones do that a user may set. The budgets are not published; these defaults are
// chosen (docs/decisions.md). The two rules known from one report each can be turned off.
struct PhoneOptions {
  bool appAsksFrequentUpdates = false;  // the app declares NSSupportsLiveActivitiesFrequentUpdates
  std::int64_t priority10Budget = 40;   // priority-10 pushes a device takes in an hour
  std::int64_t frequentPriority10Budget = 240;  // the same with frequent updates on
  std::int64_t pushToStartBudget = 10;          // starts a device takes in an hour
  bool staleStartRule = true;       // a start whose stale date has passed is never presented
  bool futureTimestampRule = true;  // a timestamp more than 8 hours ahead is dropped
};

// The devices' clock: the time a push arrives, moved as far as the user asked, so that a sender
// sees the 8-hour end, stale dates and dismissal in seconds. The owner thread moves it; the page
// reads it. The service's own checks (a provider token's age) stay on real time.
class DeviceClock {
 public:
  static constexpr std::int64_t maxOffsetMs = std::int64_t{10} * 366 * 86400 * 1000;
  std::int64_t offsetMs() const noexcept { return offset_.load(std::memory_order_relaxed); }
  // False, and no change, beyond ten years either way.
  bool setOffsetMs(std::int64_t offset) noexcept {
    if (offset > maxOffsetMs || offset < -maxOffsetMs) return false;
    offset_.store(offset, std::memory_order_relaxed);
    return true;
  }
  std::int64_t at(std::int64_t realMs) const noexcept { return realMs + offsetMs(); }

 private:
  std::atomic<std::int64_t> offset_{0};  // written by the owner thread only
};

// The system a device runs unless told: the current release the module is built for.
inline constexpr std::string_view currentSystemVersion = "26.1";

// Where an activity is in its life on the phone, at a time of the devices' clock.
enum class Phase { live, stale, ended, removed };
std::string_view phaseName(Phase phase);
Phase phaseOf(const ActivityRecord& activity, std::int64_t deviceNowMs);
// When the activity ended, or the system ends it (8 hours after its start), if by `deviceNowMs`.
std::optional<std::int64_t> endedAt(const ActivityRecord& activity, std::int64_t deviceNowMs);
// The activity among one phone's that holds the Dynamic Island: the highest relevance score, else
// the earliest start, among those not ended. Empty when none is live.
std::string islandHolder(const std::vector<ActivityRecord>& onDevice, std::int64_t deviceNowMs);

// A push as the phone receives it.
struct PhonePush {
  std::string token;   // the path's token, lowercase; or the channel of a broadcast
  std::string bundle;  // empty for a broadcast
  bool priority10 = true;
  std::optional<std::int64_t> expiration;  // apns-expiration in seconds, when given
};

// What the phone did with a push the service accepted, and why: one delivery per activity it
// reached, or one with no activity when it reached none.
struct DeviceOutcome {
  Delivery delivery;
  std::vector<std::string> warnings;
};

// A push the phone took after its own arrival: one stored while its device was offline, or a
// channel's kept message given to an activity that subscribed later. The history records each as
// an entry of its own: the original push's id, path, headers and body, with this outcome.
struct LateDelivery {
  HistoryEntry original;
  DeviceOutcome outcome;
};

// A device as the page API shows it.
struct DeviceView {
  DeviceRecord record;
  std::int64_t priority10Left = 0;
  std::int64_t priority10Limit = 0;
  std::int64_t pushToStartLeft = 0;
  std::int64_t pushToStartLimit = 0;
  std::vector<std::string> activities;  // ids, the earliest started first
  std::string islandHolder;             // empty: none
};

// The phones behind the endpoint: each push runs through the extension's own input reader; the
// activities' state is kept in the store, with the devices' settings. Budgets, pushes kept for an
// offline device, channels' kept messages and retired tokens live in memory, on the owner thread:
// a restart refills the budgets and forgets the rest.
class SimulatedDevices {
 public:
  SimulatedDevices(const ActivityRegistry& registry, PushStore& store, PhoneOptions options = {})
      : registry_(registry), store_(store), options_(options) {}

  // A push to a device token (push-to-start), or to an activity's update token with the activity
  // the store holds for it. `record` is the history's entry as far as the service has made it.
  DeviceOutcome deliver(const PhonePush& push, const HistoryEntry& record,
                        std::optional<ActivityRecord> activity);
  // A broadcast on a channel, to every activity subscribed to it: one outcome each.
  std::vector<DeviceOutcome> broadcast(const PhonePush& push, const HistoryEntry& record,
                                       const ChannelRecord& channel);
  // The deliveries made since the last call, for the history.
  std::vector<LateDelivery> takeLate() { return std::exchange(late_, {}); }

  // When the activity has left the screen, the time it ended: its token takes no more pushes.
  std::optional<std::int64_t> unregisteredSince(const ActivityRecord& activity,
                                                std::int64_t nowMs) const;
  // When the token was an activity's before the phone gave it a new one: the activity's id.
  std::optional<std::string> retiredToken(const std::string& token) const;

  // An activity started as an app does on the phone, from an activity document or a start
  // payload.
  std::variant<ActivityRecord, std::string> startLocally(std::string_view document,
                                                         std::int64_t nowMs);
  // The phone hands the activity a new update token (`pushTokenUpdates`); the old one is retired.
  std::variant<ActivityRecord, std::string> rotateToken(const std::string& activityId);

  // The device of a token, if seen or made; the pointer lasts until the next call.
  const DeviceRecord* device(const std::string& token);
  // A token seen for the first time: a device of the environment it reached.
  void addDevice(const std::string& token, const std::string& bundle, Environment environment,
                 std::int64_t nowMs);
  void bindBundle(const std::string& token, const std::string& bundle);
  std::optional<DeviceView> view(const std::string& token, std::int64_t nowMs);
  std::vector<DeviceView> views(std::int64_t nowMs, std::size_t limit);
  // Applies `{"environment", "systemVersion", "frequentUpdates", "online", "priority10Budget",
  // "pushToStartBudget"}` (any of them) to a device, made if new; why not, when a member is bad.
  // A device back online gets what was kept for it (see `takeLate`).
  std::variant<DeviceView, std::string> patch(const std::string& token, std::string_view json,
                                              std::int64_t nowMs);

  DeviceClock& clock() { return clock_; }
  const PhoneOptions& options() const { return options_; }
  // After a failed commit: the devices' settings are the store's again.
  void forgetUncommitted() { devices_.clear(); }

  // The members of a payload's `aps` that routing and the phone's checks need.
  struct Peek;

 private:
  struct Budget {
    double left = 0;
    std::int64_t atMs = 0;  // devices' clock
    bool started = false;
  };
  struct DeviceState {
    DeviceRecord record;
    Budget priority10;
    Budget pushToStart;
  };
  struct Stored {
    HistoryEntry original;
    PhonePush push;
    std::string activityId;       // empty: a start
    std::int64_t storedAtMs = 0;  // devices' clock
  };
  struct Kept {
    HistoryEntry original;
    std::int64_t untilMs = 0;  // devices' clock
  };

  DeviceState* state(const std::string& token);
  std::int64_t priority10Limit(const DeviceState& device) const;
  std::int64_t pushToStartLimit(const DeviceState& device) const;
  // Takes one from the budget when there is one left.
  static bool draw(Budget& budget, std::int64_t limit, std::int64_t nowMs);
  static std::int64_t left(Budget budget, std::int64_t limit, std::int64_t nowMs);
  DeviceView viewOf(DeviceState& device, std::int64_t deviceNowMs);

  DeviceOutcome start(const PhonePush& push, const HistoryEntry& record, const Peek& peek,
                      DeviceState* device, std::int64_t deviceNowMs);
  DeviceOutcome apply(ActivityRecord& activity, const PhonePush& push, const HistoryEntry& record,
                      const Peek& peek, DeviceState* device, std::int64_t deviceNowMs);
  DeviceOutcome keep(const PhonePush& push, const HistoryEntry& record,
                     const std::string& activityId, DeviceState& device, std::int64_t deviceNowMs);
  void deliverStored(DeviceState& device, std::int64_t deviceNowMs);
  // The words of a change of the island's holder on a phone, or nothing when it did not change.
  std::string islandWords(const std::string& deviceToken, const std::string& before,
                          std::int64_t deviceNowMs);

  const ActivityRegistry& registry_;
  PushStore& store_;
  PhoneOptions options_;
  DeviceClock clock_;
  std::unordered_map<std::string, DeviceState> devices_;  // a cache of the store's, with budgets
  std::map<std::pair<std::string, std::string>, Stored> stored_;  // by device and activity
  std::unordered_map<std::string, Kept> kept_;                    // by channel
  std::unordered_map<std::string, std::string> retired_;          // token: activity id
  std::vector<LateDelivery> late_;
};

}  // namespace host::serve
