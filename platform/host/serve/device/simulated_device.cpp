#include "platform/host/serve/device/simulated_device.hpp"

#include "platform/coding/json_document.hpp"
#include "platform/host/serve/common/random_id.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <ctime>

namespace host::serve {

using coding::JsonValue;

// What routes a push before the input reader decodes it: whether it is a payload, its event, and
// whether a start carries an alert.
struct SimulatedDevices::Peek {
  bool payload = false;  // a JSON object with an `aps` object
  std::string event;
  bool alert = false;
  bool soundOutsideAlert = false;  // `aps.sound`, which a Live Activity takes inside its alert
  // The body as read for the peek, for the input reader to decode in turn; null when the body is
  // not one JSON document.
  const coding::JsonDocument* document = nullptr;
};

namespace {

// Live Activity tokens are 160 hex digits, as the phone reports them.
constexpr std::size_t updateTokenDigits = 160;
constexpr std::int64_t hourMs = 3600 * 1000;
// The system ends an activity 8 hours after it started, and takes it off the Lock Screen at most
// 4 hours after it ended.
constexpr std::int64_t lifetimeMs = 8 * hourMs;
constexpr std::int64_t endedLifetimeMs = 4 * hourMs;
// How far ahead a timestamp may lie before the phone drops it (one report).
constexpr std::int64_t timestampAheadMs = 8 * hourMs;
// Budgets refill whole over this time (chosen).
constexpr std::int64_t budgetPeriodMs = hourMs;
// What the service keeps for an offline device when the push names no expiration (chosen).
constexpr std::int64_t storedWithoutExpirationMs = 30 * 24 * hourMs;
// How long a channel of storage policy 1 keeps its latest message (field).
constexpr std::int64_t channelKeepsMs = 8 * hourMs;
// Devices whose budgets are held in memory; beyond, they all start afresh.
constexpr std::size_t devicesInMemory = 10000;
constexpr std::size_t storedLimit = 10000;

SimulatedDevices::Peek peekAt(std::string_view body);

std::string seconds(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

std::string isoTime(std::int64_t ms) {
  const std::time_t secondsSince = static_cast<std::time_t>(std::floor(ms / 1000.0));
  std::tm utc{};
  gmtime_r(&secondsSince, &utc);
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string shortId(const std::string& id) {
  return id.substr(0, 8);
}

// A system version as numbers: "17.4" is {17, 4, 0}. Nothing for anything else.
using Version = std::array<int, 3>;
constexpr Version currentRelease{26, 1, 0};

std::optional<Version> parseVersion(std::string_view text) {
  Version version{0, 0, 0};
  std::size_t part = 0;
  if (text.empty() || text.size() > 12) return std::nullopt;
  int value = -1;
  for (const char c : text) {
    if (c >= '0' && c <= '9') {
      value = (value < 0 ? 0 : value * 10) + (c - '0');
      if (value > 999) return std::nullopt;
    } else if (c == '.' && value >= 0 && part < 2) {
      version[part++] = value;
      value = -1;
    } else {
      return std::nullopt;
    }
  }
  if (value < 0) return std::nullopt;
  version[part] = value;
  return version;
}

Version versionOf(const DeviceRecord* device) {
  if (!device || device->systemVersion.empty()) return currentRelease;
  return parseVersion(device->systemVersion).value_or(currentRelease);
}

std::string versionText(const DeviceRecord* device) {
  return device && !device->systemVersion.empty() ? device->systemVersion
                                                  : std::string(currentSystemVersion);
}

// Dates that read as milliseconds or lie far ahead are the input reader's warnings; one already
// past needs the device's clock at the push.
void warnAboutDates(const ActivityEvent& event, std::int64_t nowMs,
                    std::vector<std::string>& warnings) {
  const double now = static_cast<double>(nowMs) / 1000;
  if (event.staleDate && *event.staleDate < now) {
    warnings.push_back("\"aps.stale-date\": " + seconds(*event.staleDate) +
                       " has already passed, so the activity shows as stale at once");
  }
}

// Each body is read once: the input reader decodes the peek's document. A body that does not read
// goes to the reader as text, which words the fault and tells a timeline from a broken document.
ActivityInput readInput(std::string_view body, const SimulatedDevices::Peek& peek,
                        const ActivityRegistry& registry, std::string_view typeName,
                        std::int64_t nowMs) {
  const double now = static_cast<double>(nowMs) / 1000;
  return peek.document ? readActivityInput(*peek.document, registry, typeName, now)
                       : readActivityInput(body, registry, typeName, now);
}

DeviceOutcome outcome(Verdict verdict, std::string words, std::string activityId = {}) {
  return {{std::move(activityId), verdict, std::move(words), {}, false}, {}};
}

// A push the phone could not take; `activityId` names the activity it was meant for, if any.
DeviceOutcome dropped(std::string error, std::string activityId = {}) {
  return outcome(Verdict::dropped, std::move(error), std::move(activityId));
}

DeviceOutcome notStarted(std::string why) {
  return outcome(Verdict::notStarted, "not started: " + std::move(why));
}

}  // namespace

namespace {

SimulatedDevices::Peek peekAt(std::string_view body) {
  SimulatedDevices::Peek peek;
  // A reader keeps its buffers from one push to the next; a new one per push costs more than the
  // read itself.
  thread_local coding::JsonDocument document;
  if (document.read(body)) return peek;
  peek.document = &document;
  if (document.root().type != JsonValue::Type::object) return peek;
  constexpr std::array<std::string_view, 1> apsName{"aps"};
  std::array<JsonValue, 1> aps;
  document.lookUp(document.root().node, apsName, aps);
  if (aps[0].type != JsonValue::Type::object) return peek;
  peek.payload = true;
  constexpr std::array<std::string_view, 3> names{"event", "alert", "sound"};
  std::array<JsonValue, 3> members;
  document.lookUp(aps[0].node, names, members);
  if (members[0].type == JsonValue::Type::string) peek.event = members[0].text;
  peek.alert =
      members[1].type != JsonValue::Type::missing && members[1].type != JsonValue::Type::null;
  peek.soundOutsideAlert = members[2].type != JsonValue::Type::missing;
  return peek;
}

}  // namespace

std::string_view phaseName(Phase phase) {
  static constexpr std::array<std::string_view, 4> names{"live", "stale", "ended", "removed"};
  return names[static_cast<std::size_t>(phase)];
}

std::optional<std::int64_t> endedAt(const ActivityRecord& activity, std::int64_t deviceNowMs) {
  if (activity.ended) return activity.endedAtMs;
  const std::int64_t systemEnd = activity.createdAtMs + lifetimeMs;
  if (deviceNowMs >= systemEnd) return systemEnd;
  return std::nullopt;
}

namespace {

// When an ended activity leaves the Lock Screen: at its dismissal date, at once when that has
// passed, and at most 4 hours after its end.
std::int64_t removedAt(const ActivityRecord& activity, std::int64_t endMs) {
  std::int64_t removal = endMs + endedLifetimeMs;
  if (activity.ended && activity.dismissalDate) {
    const double dismissal = *activity.dismissalDate * 1000;
    if (dismissal <= static_cast<double>(endMs)) {
      removal = endMs;
    } else if (dismissal < static_cast<double>(removal)) {
      removal = static_cast<std::int64_t>(dismissal);
    }
  }
  return removal;
}

}  // namespace

Phase phaseOf(const ActivityRecord& activity, std::int64_t deviceNowMs) {
  if (const auto end = endedAt(activity, deviceNowMs)) {
    return deviceNowMs >= removedAt(activity, *end) ? Phase::removed : Phase::ended;
  }
  if (activity.staleDate && *activity.staleDate * 1000 <= static_cast<double>(deviceNowMs)) {
    return Phase::stale;
  }
  return Phase::live;
}

std::string islandHolder(const std::vector<ActivityRecord>& onDevice, std::int64_t deviceNowMs) {
  const ActivityRecord* holder = nullptr;
  for (const ActivityRecord& activity : onDevice) {
    if (endedAt(activity, deviceNowMs)) continue;
    if (!holder) {
      holder = &activity;
      continue;
    }
    const double score = activity.relevanceScore.value_or(0);
    const double held = holder->relevanceScore.value_or(0);
    if (score > held || (score == held && activity.createdAtMs < holder->createdAtMs)) {
      holder = &activity;
    }
  }
  return holder ? holder->id : std::string();
}

std::optional<SimulatedDevices::Removal> SimulatedDevices::unregisteredSince(
    const ActivityRecord& activity, std::int64_t nowMs) const {
  const std::int64_t deviceNow = clock_.at(nowMs);
  const auto end = endedAt(activity, deviceNow);
  if (!end) return std::nullopt;
  const std::int64_t removed = removedAt(activity, *end);
  if (deviceNow < removed) return std::nullopt;
  return Removal{*end, removed};
}

std::optional<std::string> SimulatedDevices::retiredToken(const std::string& token) const {
  const auto found = retired_.find(token);
  if (found == retired_.end()) return std::nullopt;
  return found->second;
}

// --- Devices and their budgets ---

SimulatedDevices::DeviceState* SimulatedDevices::state(const std::string& token) {
  if (token.empty()) return nullptr;
  if (const auto found = devices_.find(token); found != devices_.end()) return &found->second;
  auto record = store_.device(token);
  if (!record) return nullptr;
  if (devices_.size() >= devicesInMemory) devices_.clear();
  return &devices_.emplace(token, DeviceState{std::move(*record), {}, {}}).first->second;
}

const DeviceRecord* SimulatedDevices::device(const std::string& token) {
  DeviceState* found = state(token);
  return found ? &found->record : nullptr;
}

void SimulatedDevices::addDevice(const std::string& token, const std::string& bundle,
                                 Environment environment, std::int64_t nowMs) {
  DeviceRecord record;
  record.token = token;
  record.bundle = bundle;
  record.firstSeenMs = nowMs;
  record.environment = environment;
  store_.saveDevice(record);
  if (devices_.size() >= devicesInMemory) devices_.clear();
  devices_.insert_or_assign(token, DeviceState{std::move(record), {}, {}});
}

void SimulatedDevices::bindBundle(const std::string& token, const std::string& bundle) {
  if (DeviceState* found = state(token); found && found->record.bundle.empty()) {
    found->record.bundle = bundle;
    store_.saveDevice(found->record);
  }
}

std::int64_t SimulatedDevices::priority10Limit(const DeviceState& device) const {
  if (device.record.priority10Limit) return *device.record.priority10Limit;
  return options_.appAsksFrequentUpdates && device.record.frequentUpdates
             ? options_.frequentPriority10Budget
             : options_.priority10Budget;
}

std::int64_t SimulatedDevices::pushToStartLimit(const DeviceState& device) const {
  return device.record.pushToStartLimit.value_or(options_.pushToStartBudget);
}

std::int64_t SimulatedDevices::left(Budget budget, std::int64_t limit, std::int64_t nowMs) {
  if (!budget.started) return limit;
  double left = budget.left;
  if (nowMs > budget.atMs) {
    left += static_cast<double>(nowMs - budget.atMs) * static_cast<double>(limit) /
            static_cast<double>(budgetPeriodMs);
  }
  return static_cast<std::int64_t>(std::floor(std::min(left, static_cast<double>(limit))));
}

bool SimulatedDevices::draw(Budget& budget, std::int64_t limit, std::int64_t nowMs) {
  if (!budget.started) {
    budget = {static_cast<double>(limit), nowMs, true};
  } else if (nowMs > budget.atMs) {
    budget.left = std::min(static_cast<double>(limit),
                           budget.left + static_cast<double>(nowMs - budget.atMs) *
                                             static_cast<double>(limit) /
                                             static_cast<double>(budgetPeriodMs));
    budget.atMs = nowMs;
  }
  budget.left = std::min(budget.left, static_cast<double>(limit));
  if (budget.left < 1) return false;
  budget.left -= 1;
  return true;
}

DeviceView SimulatedDevices::viewOf(DeviceState& device, std::int64_t deviceNowMs) {
  DeviceView view;
  view.record = device.record;
  view.priority10Limit = priority10Limit(device);
  view.priority10Left = left(device.priority10, view.priority10Limit, deviceNowMs);
  view.pushToStartLimit = pushToStartLimit(device);
  view.pushToStartLeft = left(device.pushToStart, view.pushToStartLimit, deviceNowMs);
  const auto activities = store_.activitiesOfDevice(device.record.token);
  for (const ActivityRecord& activity : activities) view.activities.push_back(activity.id);
  view.islandHolder = islandHolder(activities, deviceNowMs);
  return view;
}

std::optional<DeviceView> SimulatedDevices::view(const std::string& token, std::int64_t nowMs) {
  DeviceState* found = state(token);
  if (!found) return std::nullopt;
  return viewOf(*found, clock_.at(nowMs));
}

std::vector<DeviceView> SimulatedDevices::views(std::int64_t nowMs, std::size_t limit) {
  std::vector<DeviceView> out;
  for (const DeviceRecord& record : store_.devices(limit)) {
    if (DeviceState* found = state(record.token)) out.push_back(viewOf(*found, clock_.at(nowMs)));
  }
  return out;
}

std::variant<DeviceView, std::string> SimulatedDevices::patch(const std::string& token,
                                                              std::string_view json,
                                                              std::int64_t nowMs) {
  coding::JsonDocument document;
  if (document.read(json) || document.root().type != JsonValue::Type::object) {
    return std::string("expected a JSON object");
  }
  constexpr std::array<std::string_view, 6> names{"environment",      "systemVersion",
                                                  "frequentUpdates",  "online",
                                                  "priority10Budget", "pushToStartBudget"};
  std::array<JsonValue, 6> values;
  document.lookUp(document.root().node, names, values);
  DeviceState* found = state(token);
  DeviceRecord record;
  if (found) {
    record = found->record;
  } else {
    record.token = token;
    record.firstSeenMs = nowMs;
  }
  const auto& [environment, version, frequent, online, priority10, pushToStart] = values;
  if (environment.type != JsonValue::Type::missing) {
    if (environment.type != JsonValue::Type::string ||
        (environment.text != "development" && environment.text != "production")) {
      return std::string("environment is \"development\" or \"production\"");
    }
    record.environment =
        environment.text == "production" ? Environment::production : Environment::development;
  }
  if (version.type != JsonValue::Type::missing) {
    if (version.type != JsonValue::Type::string || !parseVersion(version.text)) {
      return std::string("systemVersion is a version such as \"17.4\"");
    }
    record.systemVersion = std::string(version.text);
  }
  for (const auto& [value, field, name] :
       {std::tuple{&frequent, &record.frequentUpdates, "frequentUpdates"},
        std::tuple{&online, &record.online, "online"}}) {
    if (value->type == JsonValue::Type::missing) continue;
    if (value->type != JsonValue::Type::boolean) return std::string(name) + " is true or false";
    *field = value->number != 0;
  }
  for (const auto& [value, field, name] :
       {std::tuple{&priority10, &record.priority10Limit, "priority10Budget"},
        std::tuple{&pushToStart, &record.pushToStartLimit, "pushToStartBudget"}}) {
    if (value->type == JsonValue::Type::missing) continue;
    if (value->type == JsonValue::Type::null) {
      field->reset();
      continue;
    }
    if (value->type != JsonValue::Type::number || value->number < 0 || value->number > 100000 ||
        value->number != std::floor(value->number)) {
      return std::string(name) + " is a whole number from 0 to 100000, or null for serve's default";
    }
    *field = static_cast<std::int64_t>(value->number);
  }
  const bool cameBack = found && !found->record.online && record.online;
  store_.saveDevice(record);
  if (!found) {
    if (devices_.size() >= devicesInMemory) devices_.clear();
    found = &devices_.emplace(token, DeviceState{record, {}, {}}).first->second;
  }
  // A budget's size changed: what is left keeps, within the new size.
  found->record = std::move(record);
  const std::int64_t deviceNow = clock_.at(nowMs);
  if (cameBack) deliverStored(*found, deviceNow);
  return viewOf(*found, deviceNow);
}

// --- Pushes ---

DeviceOutcome SimulatedDevices::deliver(const PhonePush& push, const HistoryEntry& record,
                                        std::optional<ActivityRecord> existing) {
  const std::int64_t deviceNow = clock_.at(record.timeMs);
  const Peek peek = peekAt(record.body);
  if (existing) {
    if (peek.event == "start") {
      return dropped(
          "a start goes to a push-to-start token; this is the update token of activity " +
              existing->id,
          existing->id);
    }
    DeviceState* device = state(existing->deviceToken);
    if (device && !device->record.online) {
      return keep(push, record, existing->id, *device, deviceNow);
    }
    return apply(*existing, push, record, peek, device, deviceNow);
  }
  if (peek.payload && (peek.event == "update" || peek.event == "end")) {
    return dropped("an " + peek.event +
                   " to a token with no activity: this is a device's push-to-start token, and "
                   "updates go to the update token the activity reported");
  }
  DeviceState* device = state(push.token);
  if (device && !device->record.online) return keep(push, record, {}, *device, deviceNow);
  return start(push, record, peek, device, deviceNow);
}

DeviceOutcome SimulatedDevices::start(const PhonePush& push, const HistoryEntry& record,
                                      const Peek& peek, DeviceState* device,
                                      std::int64_t deviceNow) {
  ActivityInput input = readInput(record.body, peek, registry_, "", deviceNow);
  if (input.failure) return dropped(input.failure->description());
  if (input.timeline) return dropped("the body holds more than one JSON document");
  ActivityEvent& event = input.events.front();
  if (event.form != ActivityEvent::Form::push) {
    return dropped("not a Live Activity payload: no \"aps\" object");
  }
  std::vector<std::string> warnings;
  for (const Warning& warning : input.warnings) warnings.push_back(warning.description());
  if (peek.soundOutsideAlert) warnings.push_back(soundOutsideAlertWarning().description());
  const auto withWarnings = [&](DeviceOutcome out) {
    out.warnings = std::move(warnings);
    return out;
  };

  const DeviceRecord* phone = device ? &device->record : nullptr;
  const Version version = versionOf(phone);
  if (version < Version{16, 1, 0}) {
    return withWarnings(notStarted("the device runs iOS " + versionText(phone) +
                                   ", and Live Activities came with iOS 16.1"));
  }
  if (version < Version{17, 2, 0}) {
    return withWarnings(notStarted("the device runs iOS " + versionText(phone) +
                                   ", and push-to-start came with iOS 17.2"));
  }
  if (!peek.alert) {
    return withWarnings(
        notStarted("a start without an \"alert\": the phone starts and shows no activity"));
  }
  if (!event.channel.empty()) {
    if (version < Version{18, 0, 0}) {
      return withWarnings(notStarted("the device runs iOS " + versionText(phone) +
                                     ", and broadcast channels came with iOS 18"));
    }
    const auto channel = store_.channel(event.channel);
    if (!channel || channel->bundle != push.bundle) {
      return withWarnings(notStarted("\"aps.input-push-channel\": the app has no channel " +
                                     event.channel + ": create it on /1/apps/" + push.bundle +
                                     "/channels first"));
    }
  }
  if (event.staleDate && *event.staleDate * 1000 <= static_cast<double>(deviceNow)) {
    if (options_.staleStartRule) {
      return withWarnings(notStarted(
          "\"aps.stale-date\" " + seconds(*event.staleDate) + " has already passed (" +
          isoTime(deviceNow) +
          " on the device): the phone never presents such a start (observed rule, from one "
          "report; --no-stale-start-rule turns it off)"));
    }
    warnings.push_back("\"aps.stale-date\": " + seconds(*event.staleDate) +
                       " has already passed, so the activity starts stale");
  }
  const std::size_t dataBytes = event.encodedAttributes.size() + event.encodedContentState.size();
  if (dataBytes > activityDataLimit) {
    return withWarnings(notStarted("the activity's attributes and content state take " +
                                   std::to_string(dataBytes) +
                                   " bytes encoded; the phone takes 4096 at most"));
  }
  if (device && !draw(device->pushToStart, pushToStartLimit(*device), deviceNow)) {
    return withWarnings(notStarted(
        "the device's push-to-start budget is spent (" + std::to_string(pushToStartLimit(*device)) +
        " an hour, chosen; the device logs \"push-to-start budget exceeded\"), though the "
        "service answered 200"));
  }

  const std::string before =
      device ? islandHolder(store_.activitiesOfDevice(push.token), deviceNow) : std::string();
  ActivityRecord activity;
  activity.id = newUuid();
  activity.type = event.type->name;
  activity.deviceToken = push.token;
  activity.bundle = push.bundle;
  activity.channel = event.channel;
  if (event.wantsUpdateToken || event.channel.empty()) {
    activity.updateToken = newHexToken(updateTokenDigits);
  }
  activity.attributes = std::move(event.encodedAttributes);
  activity.state = std::move(event.encodedContentState);
  activity.staleDate = event.staleDate;
  activity.lastTimestamp = event.timestamp;
  if (event.timestamp) {
    activity.timestampApnsId = record.apnsId;
    activity.timestampAtMs = record.timeMs;
  }
  activity.relevanceScore = event.relevanceScore;
  activity.createdAtMs = deviceNow;
  store_.saveActivity(activity);
  DeviceOutcome out{{activity.id, Verdict::applied, {}, {}, true}, std::move(warnings)};
  if (device) out.delivery.error = islandWords(push.token, before, deviceNow);

  // A channel that keeps its latest message gives it to the new subscriber at once.
  if (const auto kept = kept_.find(activity.channel); kept != kept_.end()) {
    if (deviceNow < kept->second.untilMs) {
      const HistoryEntry original = kept->second.original;
      const Peek replayed = peekAt(original.body);
      PhonePush again{activity.channel, push.bundle, true, std::nullopt};
      DeviceOutcome late = apply(activity, again, original, replayed, device, deviceNow);
      const std::string keptWords =
          "the channel's latest broadcast (" + original.apnsId + ", sent " +
          isoTime(original.timeMs) +
          "), kept by storage policy 1 and given to this activity as it subscribed";
      late.delivery.error =
          late.delivery.error.empty() ? keptWords : keptWords + "; " + late.delivery.error;
      late_.push_back({original, std::move(late)});
    } else {
      kept_.erase(kept);
    }
  }
  return out;
}

DeviceOutcome SimulatedDevices::apply(ActivityRecord& activity, const PhonePush& push,
                                      const HistoryEntry& record, const Peek& peek,
                                      DeviceState* device, std::int64_t deviceNow) {
  const std::string& id = activity.id;
  if (activity.ended) {
    return outcome(Verdict::ended,
                   "activity " + id + " ended at " + isoTime(activity.endedAtMs) +
                       ": the phone takes no more pushes for it",
                   id);
  }
  if (const auto end = endedAt(activity, deviceNow)) {
    activity.ended = true;
    activity.endedAtMs = *end;
    store_.updateActivity(activity);
    return outcome(Verdict::ended,
                   "the system ended activity " + id + " at " + isoTime(*end) +
                       ", 8 hours after it started; the phone takes no more pushes for it",
                   id);
  }
  if (push.priority10 && device && !draw(device->priority10, priority10Limit(*device), deviceNow)) {
    const std::int64_t limit = priority10Limit(*device);
    const bool frequent = options_.appAsksFrequentUpdates && device->record.frequentUpdates;
    return outcome(
        Verdict::throttled,
        "the device's priority-10 budget is spent (" + std::to_string(limit) + " an hour, chosen" +
            (frequent ? ", with frequent updates" : "") +
            "): the phone throttles it, and this model drops it. Send updates that need not be "
            "seen at once with apns-priority 5" +
            (frequent ? std::string() : ", or ask for frequent updates (serve --frequent-updates)"),
        id);
  }
  ActivityInput input = readInput(record.body, peek, registry_, activity.type, deviceNow);
  if (input.failure) return dropped(input.failure->description(), id);
  if (input.timeline) return dropped("the body holds more than one JSON document", id);
  ActivityEvent& event = input.events.front();
  if (event.form != ActivityEvent::Form::push) {
    return dropped("not a Live Activity payload: no \"aps\" object", id);
  }
  DeviceOutcome out{{id, Verdict::applied, {}, {}, true}, {}};
  for (const Warning& warning : input.warnings) out.warnings.push_back(warning.description());
  warnAboutDates(event, deviceNow, out.warnings);
  if (peek.soundOutsideAlert) out.warnings.push_back(soundOutsideAlertWarning().description());
  const auto without = [&](Verdict verdict, std::string words) {
    out.delivery.verdict = verdict;
    out.delivery.error = std::move(words);
    out.delivery.shown = false;
    return std::move(out);
  };
  if (options_.futureTimestampRule && event.timestamp &&
      *event.timestamp * 1000 > static_cast<double>(deviceNow + timestampAheadMs)) {
    const bool milliseconds = *event.timestamp > 1e11;
    return without(
        Verdict::dropped,
        "its timestamp " + seconds(*event.timestamp) +
            (milliseconds
                 ? " reads as milliseconds, so it lies"
                 : " lies " +
                       seconds(std::round(
                           (*event.timestamp * 1000 - static_cast<double>(deviceNow)) / hourMs)) +
                       " hours") +
            " ahead of the device's clock (" + isoTime(deviceNow) +
            "): the phone drops a timestamp more than 8 hours ahead (observed rule, from one "
            "report; --no-future-timestamp-rule turns it off), so later updates still apply");
  }
  if (const auto older = olderTimestampWarning(event.timestamp, activity.lastTimestamp)) {
    out.warnings.push_back(older->description());
    std::string words = "its timestamp " + seconds(*event.timestamp) +
                        " is older than the last one applied, " + seconds(*activity.lastTimestamp);
    if (!activity.timestampApnsId.empty()) {
      words +=
          ", which push " + activity.timestampApnsId + " set at " + isoTime(activity.timestampAtMs);
    }
    return without(Verdict::ignored, std::move(words));
  }
  std::string& contentState = event.encodedContentState;
  if (!contentState.empty() &&
      activity.attributes.size() + contentState.size() > activityDataLimit) {
    return without(Verdict::notStarted,
                   "the activity's attributes and content state would take " +
                       std::to_string(activity.attributes.size() + contentState.size()) +
                       " bytes encoded; the phone takes 4096 at most and shows nothing of it");
  }
  if (event.event == PushEvent::update && contentState == activity.state) {
    out.warnings.push_back(
        "\"aps.content-state\": the content state equals the activity's current one; the "
        "platform treats it as no change");
  }
  const bool moves = event.event == PushEvent::end ||
                     (event.relevanceScore && event.relevanceScore != activity.relevanceScore);
  const std::string before =
      moves ? islandHolder(store_.activitiesOfDevice(activity.deviceToken), deviceNow)
            : std::string();
  if (!contentState.empty()) activity.state = std::move(contentState);
  if (event.timestamp) {
    activity.lastTimestamp = event.timestamp;
    activity.timestampApnsId = record.apnsId;
    activity.timestampAtMs = record.timeMs;
  }
  if (event.staleDate) activity.staleDate = event.staleDate;
  if (event.relevanceScore) activity.relevanceScore = event.relevanceScore;
  if (event.event == PushEvent::end) {
    activity.ended = true;
    activity.endedAtMs = deviceNow;
    activity.dismissalDate = event.dismissalDate;
    out.delivery.verdict = Verdict::ended;
  }
  store_.updateActivity(activity);
  if (moves) out.delivery.error = islandWords(activity.deviceToken, before, deviceNow);
  if (peek.alert) {
    // What the sender sees of an alerting update on the phone, beside any change of the island.
    if (!out.delivery.error.empty()) out.delivery.error += "; ";
    out.delivery.error +=
        "its alert lights the screen and shows the activity's expanded presentation";
  }
  return out;
}

std::string SimulatedDevices::islandWords(const std::string& deviceToken, const std::string& before,
                                          std::int64_t deviceNow) {
  const auto activities = store_.activitiesOfDevice(deviceToken);
  const std::string after = islandHolder(activities, deviceNow);
  if (before.empty() || after.empty() || before == after) return {};
  const auto scoreOf = [&](const std::string& id) {
    for (const ActivityRecord& activity : activities) {
      if (activity.id == id) {
        return activity.relevanceScore ? seconds(*activity.relevanceScore) : std::string("none");
      }
    }
    return std::string("none");
  };
  return "the Dynamic Island passes from activity " + shortId(before) + " (relevance-score " +
         scoreOf(before) + ") to activity " + shortId(after) + " (relevance-score " +
         scoreOf(after) + ")";
}

DeviceOutcome SimulatedDevices::keep(const PhonePush& push, const HistoryEntry& record,
                                     const std::string& activityId, DeviceState& device,
                                     std::int64_t deviceNow) {
  const std::string& token = device.record.token;
  if (push.expiration && *push.expiration == 0) {
    return outcome(Verdict::expired,
                   "device " + shortId(token) +
                       " is offline and apns-expiration is 0: the service tried once and "
                       "discarded the push",
                   activityId);
  }
  if (push.expiration && *push.expiration * 1000 <= deviceNow) {
    return outcome(Verdict::expired,
                   "device " + shortId(token) + " is offline and apns-expiration " +
                       std::to_string(*push.expiration) + " (" + isoTime(*push.expiration * 1000) +
                       ") has passed: a time in seconds since 1970, so the service discarded it",
                   activityId);
  }
  if (stored_.size() >= storedLimit) stored_.erase(stored_.begin());
  const auto key = std::pair{token, activityId};
  std::string words = "device " + shortId(token) +
                      " is offline: the service keeps the push until " +
                      (push.expiration ? "its apns-expiration, " + isoTime(*push.expiration * 1000)
                                       : std::string("its storage ends (30 days, chosen)")) +
                      ", and delivers it when the device is back";
  if (const auto replaced = stored_.find(key); replaced != stored_.end()) {
    words += "; it replaces push " + replaced->second.original.apnsId +
             ", kept before, which the device will never get: only the newest is kept";
  }
  HistoryEntry original = record;
  original.deliveries.clear();
  stored_.insert_or_assign(key, Stored{std::move(original), push, activityId, deviceNow});
  return outcome(Verdict::stored, std::move(words), activityId);
}

void SimulatedDevices::deliverStored(DeviceState& device, std::int64_t deviceNow) {
  const std::string token = device.record.token;
  std::vector<Stored> due;
  for (auto it = stored_.lower_bound({token, std::string()});
       it != stored_.end() && it->first.first == token;) {
    due.push_back(std::move(it->second));
    it = stored_.erase(it);
  }
  std::sort(due.begin(), due.end(),
            [](const Stored& a, const Stored& b) { return a.original.timeMs < b.original.timeMs; });
  for (Stored& kept : due) {
    const std::int64_t expiresAt = kept.push.expiration
                                       ? *kept.push.expiration * 1000
                                       : kept.storedAtMs + storedWithoutExpirationMs;
    const std::string since = "kept since " + isoTime(kept.storedAtMs) + " while device " +
                              shortId(token) + " was offline";
    DeviceOutcome result;
    if (deviceNow >= expiresAt) {
      result = outcome(Verdict::expired,
                       since + "; its expiration, " + isoTime(expiresAt) +
                           ", passed before the device came back",
                       kept.activityId);
    } else {
      const Peek peek = peekAt(kept.original.body);
      if (kept.activityId.empty()) {
        result = start(kept.push, kept.original, peek, &device, deviceNow);
      } else if (auto activity = store_.activity(kept.activityId)) {
        result = apply(*activity, kept.push, kept.original, peek, &device, deviceNow);
      } else {
        result = dropped("activity " + kept.activityId + " is gone", kept.activityId);
      }
      if (result.delivery.verdict == Verdict::applied)
        result.delivery.verdict = Verdict::deliveredLate;
      result.delivery.error =
          result.delivery.error.empty() ? since : since + "; " + result.delivery.error;
    }
    late_.push_back({std::move(kept.original), std::move(result)});
  }
}

std::vector<DeviceOutcome> SimulatedDevices::broadcast(const PhonePush& push,
                                                       const HistoryEntry& record,
                                                       const ChannelRecord& channel) {
  const std::int64_t deviceNow = clock_.at(record.timeMs);
  const Peek peek = peekAt(record.body);
  if (peek.event == "start") return {dropped("a broadcast cannot start an activity")};
  // A kept message lasts 8 hours, or until its apns-expiration when that comes first.
  if (channel.storagePolicy == 1 && push.expiration != 0) {
    HistoryEntry original = record;
    original.deliveries.clear();
    std::int64_t until = deviceNow + channelKeepsMs;
    if (push.expiration) until = std::min(until, *push.expiration * 1000);
    kept_.insert_or_assign(channel.id, Kept{std::move(original), until});
  }
  auto activities = store_.activitiesOnChannel(channel.id);
  if (activities.empty()) {
    return {dropped("no activity is subscribed to channel " + channel.id +
                    (channel.storagePolicy == 1
                         ? "; the channel keeps it (storage policy 1) for one that subscribes later"
                         : ""))};
  }
  std::vector<DeviceOutcome> outcomes;
  outcomes.reserve(activities.size());
  for (ActivityRecord& activity : activities) {
    DeviceState* device = state(activity.deviceToken);
    if (device && !device->record.online) {
      outcomes.push_back(keep(push, record, activity.id, *device, deviceNow));
    } else {
      outcomes.push_back(apply(activity, push, record, peek, device, deviceNow));
    }
  }
  return outcomes;
}

std::variant<ActivityRecord, std::string> SimulatedDevices::startLocally(std::string_view document,
                                                                         std::int64_t nowMs) {
  ActivityInput input = readActivityInput(document, registry_, "");
  if (input.failure) return input.failure->description();
  if (input.timeline || !(input.events.front().form == ActivityEvent::Form::document ||
                          (input.events.front().form == ActivityEvent::Form::push &&
                           input.events.front().event == PushEvent::start))) {
    return std::string(
        "expected one activity document: {\"attributes-type\", \"attributes\", "
        "\"content-state\"}, or a start payload");
  }
  ActivityEvent& event = input.events.front();
  ActivityRecord activity;
  activity.id = newUuid();
  activity.type = event.type->name;
  activity.updateToken = newHexToken(updateTokenDigits);
  activity.attributes = std::move(event.encodedAttributes);
  activity.state = std::move(event.encodedContentState);
  activity.relevanceScore = event.relevanceScore;
  activity.createdAtMs = clock_.at(nowMs);
  store_.saveActivity(activity);
  return activity;
}

std::variant<ActivityRecord, std::string> SimulatedDevices::rotateToken(
    const std::string& activityId) {
  auto activity = store_.activity(activityId);
  if (!activity) return std::string("no such activity");
  if (activity->updateToken.empty()) {
    return std::string("activity " + activityId +
                       " takes its updates on a channel only: it has no update token");
  }
  if (retired_.size() >= storedLimit) retired_.clear();
  retired_.insert_or_assign(activity->updateToken, activity->id);
  activity->updateToken = newHexToken(updateTokenDigits);
  store_.replaceUpdateToken(activity->id, activity->updateToken);
  return *activity;
}

}  // namespace host::serve
