#include "platform/host/serve/device/simulated_device.hpp"

#include "platform/coding/json_document.hpp"
#include "platform/host/serve/common/random_id.hpp"

#include <array>
#include <cmath>

namespace host::serve {

using coding::JsonValue;

// What routes a push before the input reader decodes it: whether it is a payload, and its event.
struct SimulatedDevices::Peek {
  bool payload = false;  // a JSON object with an `aps` object
  std::string event;
  bool soundOutsideAlert = false;  // `aps.sound`, which a Live Activity takes inside its alert
  // The body as read for the peek, for the input reader to decode in turn; null when the body is
  // not one JSON document.
  const coding::JsonDocument* document = nullptr;
};

namespace {

// Live Activity tokens are 160 hex digits, as the phone reports them.
constexpr std::size_t updateTokenDigits = 160;
constexpr std::int64_t endedLifetimeMs = 4 * 3600 * 1000;

SimulatedDevices::Peek peekAt(std::string_view body);

std::string seconds(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

// Dates that read as milliseconds or lie far ahead are the input reader's warnings; one already
// past needs the device's clock at the push.
void warnAboutDates(const ActivityEvent& event, std::int64_t nowMs, bool start,
                    std::vector<std::string>& warnings) {
  const double now = static_cast<double>(nowMs) / 1000;
  if (event.staleDate && *event.staleDate < now) {
    warnings.push_back("\"aps.stale-date\": " + seconds(*event.staleDate) +
                       " has already passed, so the activity " +
                       (start ? "starts stale" : "shows as stale at once"));
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

// A push the phone could not take; `activityId` names the activity it was meant for, if any.
DeviceOutcome dropped(std::string error, std::string activityId = {}) {
  return {{std::move(activityId), Verdict::dropped, std::move(error), {}}, {}};
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
  constexpr std::array<std::string_view, 2> names{"event", "sound"};
  std::array<JsonValue, 2> found;
  document.lookUp(aps[0].node, names, found);
  if (found[0].type == JsonValue::Type::string) peek.event = found[0].text;
  peek.soundOutsideAlert = found[1].type != JsonValue::Type::missing;
  return peek;
}

}  // namespace

DeviceOutcome SimulatedDevices::deliver(const std::string& token, const std::string& bundle,
                                        std::string_view body, std::int64_t nowMs,
                                        std::optional<ActivityRecord> existing) {
  const Peek peek = peekAt(body);
  if (existing) {
    if (peek.event == "start") {
      return dropped(
          "a start goes to a push-to-start token; this is the update token of activity " +
              existing->id,
          existing->id);
    }
    return apply(*existing, body, peek, nowMs);
  }
  if (peek.payload && (peek.event == "update" || peek.event == "end")) {
    return dropped("an " + peek.event +
                   " to a token with no activity: this is a device's push-to-start token, and "
                   "updates go to the update token the activity reported");
  }
  ActivityInput input = readInput(body, peek, registry_, "", nowMs);
  if (input.failure) return dropped(input.failure->description());
  if (input.timeline) return dropped("the body holds more than one JSON document");
  ActivityEvent& event = input.events.front();
  if (event.form != ActivityEvent::Form::push) {
    return dropped("not a Live Activity payload: no \"aps\" object");
  }
  DeviceOutcome outcome;
  for (const Warning& warning : input.warnings) outcome.warnings.push_back(warning.description());
  warnAboutDates(event, nowMs, true, outcome.warnings);
  if (peek.soundOutsideAlert) outcome.warnings.push_back(soundOutsideAlertWarning().description());

  ActivityRecord activity;
  activity.id = newUuid();
  activity.type = event.type->name;
  activity.deviceToken = token;
  activity.bundle = bundle;
  activity.channel = event.channel;
  if (event.wantsUpdateToken || event.channel.empty()) {
    activity.updateToken = newHexToken(updateTokenDigits);
  }
  if (!event.channel.empty() && !store_.channel(event.channel)) {
    outcome.warnings.push_back("\"aps.input-push-channel\": no channel " + event.channel +
                               " is registered; the activity will hear nothing on it");
  }
  activity.attributes = std::move(event.encodedAttributes);
  activity.state = std::move(event.encodedContentState);
  activity.staleDate = event.staleDate;
  activity.lastTimestamp = event.timestamp;
  activity.createdAtMs = nowMs;
  store_.saveActivity(activity);
  outcome.delivery.activityId = activity.id;
  return outcome;
}

DeviceOutcome SimulatedDevices::apply(ActivityRecord& activity, std::string_view body,
                                      const Peek& peek, std::int64_t nowMs) {
  if (activity.ended) return dropped("activity " + activity.id + " has ended", activity.id);
  ActivityInput input = readInput(body, peek, registry_, activity.type, nowMs);
  if (input.failure) return dropped(input.failure->description(), activity.id);
  if (input.timeline) return dropped("the body holds more than one JSON document", activity.id);
  ActivityEvent& event = input.events.front();
  if (event.form != ActivityEvent::Form::push) {
    return dropped("not a Live Activity payload: no \"aps\" object", activity.id);
  }
  DeviceOutcome outcome{{activity.id, Verdict::applied, {}, {}}, {}};
  for (const Warning& warning : input.warnings) outcome.warnings.push_back(warning.description());
  warnAboutDates(event, nowMs, false, outcome.warnings);
  if (peek.soundOutsideAlert) outcome.warnings.push_back(soundOutsideAlertWarning().description());
  if (const auto older = olderTimestampWarning(event.timestamp, activity.lastTimestamp)) {
    outcome.warnings.push_back(older->description());
    outcome.delivery.verdict = Verdict::ignored;
    outcome.delivery.error = "its timestamp " + seconds(*event.timestamp) +
                             " is older than the last one applied, " +
                             seconds(*activity.lastTimestamp);
    return outcome;
  }
  std::string& state = event.encodedContentState;
  if (event.event == PushEvent::update && state == activity.state) {
    outcome.warnings.push_back(
        "\"aps.content-state\": the content state equals the activity's current one; the "
        "platform treats it as no change");
  }
  if (!state.empty()) activity.state = std::move(state);
  if (event.timestamp) activity.lastTimestamp = event.timestamp;
  if (event.staleDate) activity.staleDate = event.staleDate;
  if (event.event == PushEvent::end) {
    activity.ended = true;
    activity.endedAtMs = nowMs;
    activity.dismissalDate = event.dismissalDate;
    outcome.delivery.verdict = Verdict::ended;
  }
  store_.updateActivity(activity);
  return outcome;
}

std::vector<DeviceOutcome> SimulatedDevices::broadcast(const std::string& channel,
                                                       std::string_view body, std::int64_t nowMs) {
  const Peek peek = peekAt(body);
  if (peek.event == "start") return {dropped("a broadcast cannot start an activity")};
  auto activities = store_.activitiesOnChannel(channel);
  if (activities.empty()) return {dropped("no activity is subscribed to channel " + channel)};
  std::vector<DeviceOutcome> outcomes;
  outcomes.reserve(activities.size());
  for (ActivityRecord& activity : activities) {
    outcomes.push_back(apply(activity, body, peek, nowMs));
  }
  return outcomes;
}

std::optional<std::int64_t> SimulatedDevices::unregisteredSince(const ActivityRecord& activity,
                                                                std::int64_t nowMs) {
  if (!activity.ended) return std::nullopt;
  const bool dismissed = activity.dismissalDate
                             ? *activity.dismissalDate * 1000 <= static_cast<double>(nowMs)
                             : nowMs - activity.endedAtMs >= endedLifetimeMs;
  if (!dismissed) return std::nullopt;
  return activity.endedAtMs;
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
  activity.createdAtMs = nowMs;
  store_.saveActivity(activity);
  return activity;
}

}  // namespace host::serve
