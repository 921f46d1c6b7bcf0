#include "platform/host/input/sender_warnings.hpp"

#include <cstdio>
#include <ctime>
#include <utility>

namespace host {

std::string Warning::description() const {
  std::string text;
  if (line > 0) text += "line " + std::to_string(line) + ": ";
  if (!member.empty()) text += "\"" + member + "\": ";
  return text + message;
}

std::optional<Warning> activityDataWarning(const EncodedRecord* attributes,
                                           const EncodedRecord& contentState,
                                           std::string_view prefix) {
  const std::size_t total = (attributes ? attributes->json.size() : 0) + contentState.json.size();
  if (total <= activityDataLimit) return std::nullopt;
  std::string largest;
  std::size_t largestBytes = 0;
  const auto consider = [&](const EncodedRecord& record, std::string_view record_name) {
    for (const coding::MemberSize& member : record.members) {
      if (member.bytes <= largestBytes) continue;
      largestBytes = member.bytes;
      largest = std::string(prefix) + std::string(record_name) + "." + std::string(member.name);
    }
  };
  if (attributes) consider(*attributes, "attributes");
  consider(contentState, "content-state");
  return Warning{0, largest,
                 "the attributes and content state take " + std::to_string(total) +
                     " bytes encoded, more than the " + std::to_string(activityDataLimit) +
                     " the platform accepts for an activity; this member takes " +
                     std::to_string(largestBytes)};
}

Warning startWithoutAlertWarning() {
  return {0, "aps.alert",
          "a start without an alert: the platform needs one to start an activity by push"};
}

std::optional<Warning> staleDateWarning(std::optional<double> timestamp,
                                        std::optional<double> staleDate) {
  if (!timestamp || !staleDate || *staleDate > *timestamp) return std::nullopt;
  return Warning{0, "aps.stale-date",
                 "the stale date is not after the timestamp, so the activity is stale as soon "
                 "as it arrives"};
}

Warning unchangedStateWarning() {
  return {0, "aps.content-state",
          "the content state equals the previous one; the platform treats it as no change and "
          "nothing is rebuilt"};
}

std::vector<Warning> dateWarnings(std::optional<double> timestamp, std::optional<double> staleDate,
                                  std::optional<double> dismissalDate, double now) {
  constexpr double day = 86400;
  const std::pair<const char*, std::optional<double>> dates[] = {
      {"aps.timestamp", timestamp},
      {"aps.stale-date", staleDate},
      {"aps.dismissal-date", dismissalDate}};
  std::vector<Warning> warnings;
  for (const auto& [member, value] : dates) {
    if (!value) continue;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.15g", *value);
    // Seconds since 1970 reach 1e11 in the year 5138; anything that large was meant in ms.
    if (*value >= 1e11) {
      warnings.push_back({0, member,
                          std::string(seconds) +
                              " reads as milliseconds since 1970; the platform expects seconds"});
    } else if (*value > now + day) {
      warnings.push_back(
          {0, member, std::string(seconds) + " lies more than a day ahead of the clock"});
    }
  }
  return warnings;
}

std::optional<Warning> payloadSizeWarning(std::size_t bytes) {
  if (bytes <= pushPayloadLimit) return std::nullopt;
  return Warning{0, "",
                 "the payload takes " + std::to_string(bytes) + " bytes, more than the " +
                     std::to_string(pushPayloadLimit) +
                     " the push service takes for a Live Activity push: it answers 413 "
                     "PayloadTooLarge and no phone gets it"};
}

std::optional<Warning> olderTimestampWarning(std::optional<double> timestamp,
                                             std::optional<double> newest) {
  if (!timestamp || !newest || *timestamp >= *newest) return std::nullopt;
  char text[80];
  std::snprintf(text, sizeof text, "%.15g is older than %.15g", *timestamp, *newest);
  return Warning{
      0, "aps.timestamp",
      std::string(text) + ", the newest the activity has taken: the phone ignores this push"};
}

Warning soundOutsideAlertWarning() {
  return {0, "aps.sound",
          "a Live Activity push takes its sound inside the alert (aps.alert.sound); here the "
          "phone plays none"};
}

std::optional<Warning> pastExpirationWarning(std::int64_t expiration, std::int64_t now) {
  if (expiration == 0 || expiration >= now) return std::nullopt;
  const std::time_t seconds = static_cast<std::time_t>(expiration);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char when[40];
  std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &utc);
  const std::string said = "apns-expiration " + std::to_string(expiration) +
                           " is a time in seconds since 1970, " + when + ", already past: ";
  return Warning{0, "",
                 said +
                     "the push expires at once and is not kept for a phone that is offline. "
                     "For a lifetime, send now plus the seconds; to keep nothing, send 0"};
}

}  // namespace host
