#pragma once

#include "platform/host/serve/common/exchange.hpp"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace host::serve {

// A store operation failed; the endpoint answers 500 and says why.
class StoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ActivityRecord {
  std::string id;
  std::string type;
  std::string deviceToken;  // empty for an activity started locally
  std::string updateToken;  // empty when the activity takes its updates on a channel only
  std::string bundle;
  std::string channel;
  std::string attributes;  // encoded as the device keeps them
  std::string state;
  bool ended = false;
  std::optional<double> staleDate;
  std::optional<double> dismissalDate;
  std::optional<double> lastTimestamp;
  // On the devices' clock: an activity lives by the phone's time, not the sender's.
  std::int64_t endedAtMs = 0;
  std::int64_t createdAtMs = 0;
  std::optional<double> relevanceScore;
  // The push that set `lastTimestamp`, for the words of a push ignored as older.
  std::string timestampApnsId;
  std::int64_t timestampAtMs = 0;
};

// A phone, by its push-to-start token, with what the user or the tests set on it.
struct DeviceRecord {
  std::string token;
  std::string bundle;  // empty until its first push
  std::int64_t firstSeenMs = 0;
  Environment environment = Environment::development;  // where it was first seen
  std::string systemVersion;                           // empty: the current release
  bool frequentUpdates = true;  // the user's switch; the app must ask for them too
  bool online = true;
  std::optional<std::int64_t> priority10Limit;  // absent: serve's default
  std::optional<std::int64_t> pushToStartLimit;
};

struct ChannelRecord {
  std::string id;
  std::string bundle;
  int storagePolicy = 0;
};

// What a phone did with a push, one closed set; `verdictName` is its one table of names.
enum class Verdict : std::uint8_t {
  applied,
  dropped,
  ignored,
  ended,
  rejected,
  notStarted,     // a start the phone would not start or show
  throttled,      // over the device's priority-10 budget: dropped
  stored,         // the device is offline: kept until it is back or the push expires
  deliveredLate,  // a stored push, applied once the device came back
  expired,        // a stored push whose apns-expiration passed first
};
std::string_view verdictName(Verdict verdict);
// The verdict of a name from `verdictName`; `rejected` for any other.
Verdict verdictNamed(std::string_view name);

// What one activity did with a push that reached it. `shown` says whether the activity showed
// it, so its timeline holds it: `ended` is also the verdict of a push after the end, which it
// does not show.
struct Delivery {
  std::string activityId;
  Verdict verdict = Verdict::applied;
  std::string error;
  std::string warnings = "[]";  // a JSON array of strings
  bool shown = false;
};

// A push or a start from the page: what the sender sent, what the service answered, and for each
// activity it reached, its delivery. The top-level verdict, error, warnings and activity are the
// first delivery's (or the push's own, when it reached none), for callers that read one.
struct HistoryEntry {
  std::string apnsId;
  std::int64_t timeMs = 0;
  std::string path;
  std::string token;
  std::string headers;  // a JSON object
  std::string body;     // as received, cut at the transport's ceiling or the history's bound
  int status = 0;
  std::string reason;
  Verdict verdict = Verdict::applied;
  std::string error;
  std::string warnings;  // a JSON array of strings
  std::string activityId;
  bool shown = false;
  std::vector<Delivery> deliveries;
  std::int64_t bodyBytes = 0;  // what the sender sent, when more than `body` keeps
  std::int64_t seq = 0;        // its place in the history, once stored
};

// What reached one activity: how many pushes of each verdict, and the newest of them.
struct ActivityTally {
  std::vector<std::pair<Verdict, std::int64_t>> counts;  // each verdict that occurred, once
  std::int64_t pushes = 0;
  std::string lastApnsId;  // empty when nothing reached it
  std::int64_t lastTimeMs = 0;
  Verdict lastVerdict = Verdict::applied;
};

// How much history a store keeps: pushes older than `days`, and those beyond the newest `pushes`,
// are dropped as new ones come (0: no bound).
struct Retention {
  int days = 7;
  std::int64_t pushes = 100000;
};

// Devices, activities, channels and the push history in SQLite (WAL). Writes go into a
// transaction that `commit` makes durable, so a caller can answer a whole batch after one sync.
// One thread owns it; only `commitSealed` runs on another, while the owner waits for SQLite.
class PushStore {
 public:
  // Opens or creates `<folder>/serve.sqlite3`; an empty folder means a private in-memory store.
  static std::unique_ptr<PushStore> open(const std::filesystem::path& folder,
                                         Retention retention = {});
  // A second connection to a store that `open` made, for reading only: it sees committed rows
  // alone, and reads while the owner writes (WAL).
  static std::unique_ptr<PushStore> openReader(const std::filesystem::path& folder);
  ~PushStore();
  PushStore(const PushStore&) = delete;
  PushStore& operator=(const PushStore&) = delete;

  std::optional<DeviceRecord> device(const std::string& token);
  void saveDevice(const DeviceRecord& device);
  std::vector<DeviceRecord> devices(std::size_t limit);

  std::optional<ActivityRecord> activity(const std::string& id);
  std::optional<ActivityRecord> activityByUpdateToken(const std::string& token);
  std::vector<ActivityRecord> activitiesOnChannel(const std::string& channel);
  std::vector<ActivityRecord> activities(std::size_t limit);
  // A phone's activities, the earliest started first.
  std::vector<ActivityRecord> activitiesOfDevice(const std::string& deviceToken);
  void saveActivity(const ActivityRecord& activity);
  // What a push changes of an activity: its state, dates, score and whether it has ended.
  void updateActivity(const ActivityRecord& activity);
  // The phone handed the activity a new update token; the old one no longer finds it.
  void replaceUpdateToken(const std::string& id, const std::string& token);

  bool addChannel(const ChannelRecord& channel);
  std::optional<ChannelRecord> channel(const std::string& id);
  bool removeChannel(const std::string& id);
  std::vector<ChannelRecord> channels(const std::string& bundle, std::size_t limit);
  std::size_t channelCount();

  // Kept in memory until the next commit or query.
  void addPush(const HistoryEntry& push);
  void addPush(HistoryEntry&& push);
  // Newest first.
  std::vector<HistoryEntry> pushes(std::size_t limit);
  // The newest push of this apns-id (ignoring case), with its deliveries. A scan from the newest
  // down: the history keeps no index of apns-ids, which every push would pay for.
  std::optional<HistoryEntry> push(const std::string& apnsId);
  // Every push that reached an activity, oldest first, whatever it did with it; the top-level
  // verdict, error and warnings of each are the activity's own delivery.
  std::vector<HistoryEntry> activityPushes(const std::string& activityId, std::size_t limit);
  // Those of them the activity showed: its start and the updates and end it applied.
  std::vector<HistoryEntry> appliedPushes(const std::string& activityId, std::size_t limit);
  // What the history still holds of the pushes that reached the activity.
  ActivityTally tally(const std::string& activityId);
  std::size_t pushCount();
  // How many pushes the retention bound has dropped since the store was made.
  std::int64_t droppedPushes();

  // Makes everything written since the last commit durable.
  void commit();

  // The same in two steps, for a caller that goes on writing while a batch syncs: `seal` takes
  // what was written so far, and `commitSealed` makes it durable, on another thread if need be.
  // Meanwhile the calls that need SQLite wait for the commit; those answered from memory do not.
  // A failed commit is rolled back and thrown; what was written since its seal may rest on it,
  // and the caller then throws that away too with `discard`, before anything else.
  struct Sealed {
    std::vector<HistoryEntry> pushes;
    std::vector<ActivityRecord> activities;
    bool open = false;  // there is a transaction to commit
  };
  Sealed seal();
  void commitSealed(Sealed& sealed);
  // Forgets whatever was written since the last seal: the tables are the truth again.
  void discard();

 private:
  void attachDeliveries(std::vector<HistoryEntry>& pushes);
  std::vector<HistoryEntry> pushesReaching(const std::string& activityId, bool shownOnly,
                                           std::size_t limit);
  struct Impl;
  explicit PushStore(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace host::serve
