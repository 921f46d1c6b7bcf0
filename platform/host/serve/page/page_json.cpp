#include "platform/host/serve/page/page_json.hpp"

#include "platform/host/serve/common/json_text.hpp"

#include <cstdio>
#include <ctime>

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

std::string nullOr(const std::string& text) {
  return text.empty() ? "null" : jsonString(text);
}

std::string valueOrNull(const std::string& json) {
  return json.empty() ? "null" : jsonValueOrString(json);
}

std::string number(const std::optional<double>& value) {
  if (!value) return "null";
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", *value);
  return text;
}

}  // namespace

std::string activityJson(const ActivityRecord& a) {
  return "{\"id\":" + jsonString(a.id) + ",\"type\":" + jsonString(a.type) +
         ",\"deviceToken\":" + nullOr(a.deviceToken) + ",\"updateToken\":" + nullOr(a.updateToken) +
         ",\"bundle\":" + nullOr(a.bundle) + ",\"channel\":" + nullOr(a.channel) +
         ",\"attributes\":" + valueOrNull(a.attributes) + ",\"state\":" + valueOrNull(a.state) +
         ",\"ended\":" + (a.ended ? "true" : "false") + ",\"staleDate\":" + number(a.staleDate) +
         ",\"dismissalDate\":" + number(a.dismissalDate) +
         ",\"created\":" + jsonString(isoTime(a.createdAtMs)) + "}";
}

std::string deliveryJson(const Delivery& d) {
  return "{\"activityId\":" + jsonString(d.activityId) +
         ",\"verdict\":" + jsonString(verdictName(d.verdict)) + ",\"error\":" + nullOr(d.error) +
         ",\"warnings\":" + (d.warnings.empty() ? "[]" : d.warnings) + "}";
}

std::string pushJson(const PushRecord& p) {
  std::string deliveries = "[";
  for (const Delivery& d : p.deliveries) {
    if (deliveries.size() > 1) deliveries += ',';
    deliveries += deliveryJson(d);
  }
  deliveries += ']';
  return "{\"apnsId\":" + jsonString(p.apnsId) + ",\"time\":" + jsonString(isoTime(p.timeMs)) +
         ",\"path\":" + jsonString(p.path) + ",\"token\":" + nullOr(p.token) +
         ",\"headers\":" + (p.headers.empty() ? "{}" : p.headers) +
         ",\"status\":" + std::to_string(p.status) + ",\"reason\":" + nullOr(p.reason) +
         ",\"verdict\":" + jsonString(verdictName(p.verdict)) + ",\"error\":" + nullOr(p.error) +
         ",\"warnings\":" + (p.warnings.empty() ? "[]" : p.warnings) +
         ",\"activityId\":" + nullOr(p.activityId) + ",\"deliveries\":" + deliveries +
         (p.bodyBytes > 0 ? ",\"bodyBytes\":" + std::to_string(p.bodyBytes) : std::string()) +
         ",\"payload\":" + valueOrNull(p.body) + "}";
}

}  // namespace host::serve
