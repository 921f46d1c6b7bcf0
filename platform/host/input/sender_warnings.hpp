#pragma once

#include "platform/host/input/encoded_record.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace host {

// The most the platform accepts for one activity's attributes and content state together,
// encoded.
inline constexpr std::size_t activityDataLimit = 4096;
// The most the push service takes for a Live Activity push to a device, the whole payload.
inline constexpr std::size_t pushPayloadLimit = 4096;

// Something a careful sender should know that does not make the input wrong.
struct Warning {
  std::size_t line = 0;  // 0 outside a timeline
  std::string member;    // the member it is about, if any
  std::string message;

  // `line 3: "member": message`
  std::string description() const;
};

// Over the platform's limit: names the member that costs most. `prefix` leads the member paths
// ("aps." in a push payload).
std::optional<Warning> activityDataWarning(const EncodedRecord* attributes,
                                           const EncodedRecord& contentState,
                                           std::string_view prefix);

Warning startWithoutAlertWarning();
// Nothing when the stale date comes after the timestamp, or either is absent.
std::optional<Warning> staleDateWarning(std::optional<double> timestamp,
                                        std::optional<double> staleDate);
Warning unchangedStateWarning();
// A `timestamp`, `stale-date` or `dismissal-date` that reads as milliseconds, or lies more than a
// day ahead of `now` (seconds since 1970): the platform reads seconds, so such a date is far off.
std::vector<Warning> dateWarnings(std::optional<double> timestamp, std::optional<double> staleDate,
                                  std::optional<double> dismissalDate, double now);

// A push payload of `bytes` over the service's limit: it answers 413 and nothing reaches a phone.
std::optional<Warning> payloadSizeWarning(std::size_t bytes);
// A push whose timestamp is older than the newest its activity has taken: the phone ignores it.
std::optional<Warning> olderTimestampWarning(std::optional<double> timestamp,
                                             std::optional<double> newest);
// `aps.sound`: a Live Activity push's sound goes inside its alert.
Warning soundOutsideAlertWarning();
// An `apns-expiration` (seconds since 1970) before `now` that is not 0, the plain "store
// nothing": most often a duration such as 300 sent where a time is meant.
std::optional<Warning> pastExpirationWarning(std::int64_t expiration, std::int64_t now);

}  // namespace host
