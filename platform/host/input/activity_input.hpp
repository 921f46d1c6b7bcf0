#pragma once

#include "platform/coding/json_document.hpp"
#include "platform/host/input/activity_event.hpp"
#include "platform/host/input/activity_registry.hpp"
#include "platform/host/input/input_failure.hpp"
#include "platform/host/input/sender_warnings.hpp"

#include <optional>
#include <string_view>
#include <vector>

namespace host {

struct ActivityInput {
  bool timeline = false;
  std::vector<ActivityEvent> events;
  std::vector<Warning> warnings;
  std::optional<InputFailure> failure;  // reading stops at the first
};

// Reads a bare record (its type named by `typeName`), an activity document, a Live Activity push
// payload, or a JSON Lines timeline of documents and payloads. Activity types come from the
// registry only. Dates are judged against `now` (seconds since 1970), the system clock by default.
ActivityInput readActivityInput(std::string_view input, const ActivityRegistry& registry,
                                std::string_view typeName, std::optional<double> now = {});

// The same for an input that `document` has already read without a fault. A text that reads as
// one JSON document is never a timeline: a first line that is a whole document would leave the
// lines after it as trailing content.
ActivityInput readActivityInput(const coding::JsonDocument& document,
                                const ActivityRegistry& registry, std::string_view typeName,
                                std::optional<double> now = {});

}  // namespace host
