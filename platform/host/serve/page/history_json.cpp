#include "platform/host/serve/page/history_json.hpp"

#include "platform/coding/json_writer.hpp"
#include "platform/host/serve/common/untrusted_json.hpp"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <set>

namespace host::serve {
namespace {

std::string isoTime(std::int64_t ms) {
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(ms % 1000));
  return text;
}

// The history's texts come from untrusted clients: each goes through `appendJsonString`, which
// keeps any bytes JSON.
void member(coding::JsonWriter& writer, std::string_view name, bool first = false) {
  if (!first) writer.comma();
  writer.string(name);
  writer.colon();
}

void text(std::string& out, const std::string& value) {
  appendJsonString(out, value);
}

void textOrNull(std::string& out, coding::JsonWriter& writer, const std::string& value) {
  if (value.empty()) {
    writer.null();
  } else {
    appendJsonString(out, value);
  }
}

// A JSON text the history wrote itself (headers, warnings), or a sender's payload, which need not
// be JSON: then it is shown as a string of its bytes.
void valueOrNull(std::string& out, coding::JsonWriter& writer, const std::string& json) {
  if (json.empty()) {
    writer.null();
  } else {
    out += jsonValueOrString(json);
  }
}

void number(coding::JsonWriter& writer, const std::optional<double>& value) {
  if (value) {
    writer.number(*value);
  } else {
    writer.null();
  }
}

void writeDelivery(std::string& out, const Delivery& d) {
  coding::JsonWriter writer(out);
  writer.beginObject();
  member(writer, "activityId", true);
  text(out, d.activityId);
  member(writer, "verdict");
  writer.string(verdictName(d.verdict));
  member(writer, "error");
  textOrNull(out, writer, d.error);
  member(writer, "warnings");
  writer.raw(d.warnings.empty() ? "[]" : d.warnings);
  member(writer, "shown");
  writer.boolean(d.shown);
  writer.endObject();
}

}  // namespace

std::string activityJson(PushStore& store, const ActivityRecord& a, std::int64_t deviceNowMs) {
  const bool holds = islandHolder(store.activitiesOfDevice(a.deviceToken), deviceNowMs) == a.id;
  return activityJson(a, deviceNowMs, holds);
}

std::string activityJson(const ActivityRecord& a, std::int64_t deviceNowMs, bool holdsIsland) {
  std::string out;
  coding::JsonWriter writer(out);
  writer.beginObject();
  member(writer, "id", true);
  text(out, a.id);
  member(writer, "type");
  text(out, a.type);
  member(writer, "deviceToken");
  textOrNull(out, writer, a.deviceToken);
  member(writer, "updateToken");
  textOrNull(out, writer, a.updateToken);
  member(writer, "bundle");
  textOrNull(out, writer, a.bundle);
  member(writer, "channel");
  textOrNull(out, writer, a.channel);
  member(writer, "attributes");
  valueOrNull(out, writer, a.attributes);
  member(writer, "state");
  valueOrNull(out, writer, a.state);
  member(writer, "ended");
  writer.boolean(a.ended);
  member(writer, "staleDate");
  number(writer, a.staleDate);
  member(writer, "dismissalDate");
  number(writer, a.dismissalDate);
  member(writer, "created");
  writer.string(isoTime(a.createdAtMs));
  member(writer, "relevanceScore");
  number(writer, a.relevanceScore);
  member(writer, "holdsIsland");
  writer.boolean(holdsIsland);
  member(writer, "phase");
  writer.string(phaseName(phaseOf(a, deviceNowMs)));
  writer.endObject();
  return out;
}

std::string activitiesJson(const std::vector<ActivityRecord>& activities,
                           std::int64_t deviceNowMs) {
  std::map<std::string, std::vector<ActivityRecord>> byDevice;
  for (const ActivityRecord& activity : activities) {
    byDevice[activity.deviceToken].push_back(activity);
  }
  std::set<std::string> holders;
  for (auto& [token, onDevice] : byDevice) {
    std::sort(onDevice.begin(), onDevice.end(),
              [](const auto& a, const auto& b) { return a.createdAtMs < b.createdAtMs; });
    holders.insert(islandHolder(onDevice, deviceNowMs));
  }
  std::string body = "[";
  for (const ActivityRecord& activity : activities) {
    if (body.size() > 1) body += ',';
    body += activityJson(activity, deviceNowMs, holders.contains(activity.id));
  }
  return body + "]";
}

std::string deviceJson(const DeviceView& d) {
  std::string out;
  coding::JsonWriter writer(out);
  writer.beginObject();
  member(writer, "token", true);
  text(out, d.record.token);
  member(writer, "environment");
  writer.string(d.record.environment == Environment::production ? "production" : "development");
  member(writer, "systemVersion");
  text(out,
       d.record.systemVersion.empty() ? std::string(currentSystemVersion) : d.record.systemVersion);
  member(writer, "frequentUpdates");
  writer.boolean(d.record.frequentUpdates);
  member(writer, "online");
  writer.boolean(d.record.online);
  member(writer, "budgets");
  writer.beginObject();
  member(writer, "priority10Left", true);
  writer.number(static_cast<double>(d.priority10Left));
  member(writer, "priority10Limit");
  writer.number(static_cast<double>(d.priority10Limit));
  member(writer, "pushToStartLeft");
  writer.number(static_cast<double>(d.pushToStartLeft));
  member(writer, "pushToStartLimit");
  writer.number(static_cast<double>(d.pushToStartLimit));
  writer.endObject();
  member(writer, "activities");
  writer.beginArray();
  for (std::size_t i = 0; i < d.activities.size(); ++i) {
    if (i > 0) writer.comma();
    text(out, d.activities[i]);
  }
  writer.endArray();
  member(writer, "islandHolder");
  textOrNull(out, writer, d.islandHolder);
  writer.endObject();
  return out;
}

std::string clockJson(std::int64_t offsetMs, std::int64_t deviceNowMs) {
  return "{\"offsetSeconds\":" + std::to_string(offsetMs / 1000) +
         ",\"nowMs\":" + std::to_string(deviceNowMs) + ",\"now\":\"" + isoTime(deviceNowMs) + "\"}";
}

std::string deliveryJson(const Delivery& delivery) {
  std::string out;
  writeDelivery(out, delivery);
  return out;
}

std::string pushJson(const HistoryEntry& p) {
  std::string out;
  out.reserve(512 + p.body.size());
  coding::JsonWriter writer(out);
  writer.beginObject();
  member(writer, "apnsId", true);
  text(out, p.apnsId);
  member(writer, "time");
  writer.string(isoTime(p.timeMs));
  member(writer, "path");
  text(out, p.path);
  member(writer, "token");
  textOrNull(out, writer, p.token);
  member(writer, "headers");
  writer.raw(p.headers.empty() ? "{}" : p.headers);
  member(writer, "status");
  writer.number(p.status);
  member(writer, "reason");
  textOrNull(out, writer, p.reason);
  member(writer, "verdict");
  writer.string(verdictName(p.verdict));
  member(writer, "error");
  textOrNull(out, writer, p.error);
  member(writer, "warnings");
  writer.raw(p.warnings.empty() ? "[]" : p.warnings);
  member(writer, "activityId");
  textOrNull(out, writer, p.activityId);
  member(writer, "shown");
  writer.boolean(p.shown);
  member(writer, "deliveries");
  writer.beginArray();
  for (std::size_t i = 0; i < p.deliveries.size(); ++i) {
    if (i > 0) writer.comma();
    writeDelivery(out, p.deliveries[i]);
  }
  writer.endArray();
  if (p.bodyBytes > 0) {
    member(writer, "bodyBytes");
    writer.number(static_cast<double>(p.bodyBytes));
  }
  member(writer, "payload");
  valueOrNull(out, writer, p.body);
  writer.endObject();
  return out;
}

std::string tallyJson(const ActivityTally& tally) {
  std::string out;
  coding::JsonWriter writer(out);
  writer.beginObject();
  member(writer, "pushes", true);
  writer.number(static_cast<double>(tally.pushes));
  member(writer, "verdicts");
  writer.beginObject();
  bool first = true;
  for (const auto& [verdict, count] : tally.counts) {
    member(writer, verdictName(verdict), first);
    first = false;
    writer.number(static_cast<double>(count));
  }
  writer.endObject();
  member(writer, "last");
  if (tally.lastApnsId.empty()) {
    writer.null();
  } else {
    writer.beginObject();
    member(writer, "apnsId", true);
    text(out, tally.lastApnsId);
    member(writer, "time");
    writer.string(isoTime(tally.lastTimeMs));
    member(writer, "verdict");
    writer.string(verdictName(tally.lastVerdict));
    writer.endObject();
  }
  writer.endObject();
  return out;
}

}  // namespace host::serve
