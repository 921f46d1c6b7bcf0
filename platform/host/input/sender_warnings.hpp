#pragma once

#include "platform/host/input/encoded_record.hpp"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace host {

// The most the platform accepts for one activity's attributes and content state together,
// encoded.
inline constexpr std::size_t activityDataLimit = 4096;

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

}  // namespace host
