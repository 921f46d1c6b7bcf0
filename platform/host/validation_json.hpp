#pragma once

#include "platform/host/input/activity_input.hpp"

#include <string>
#include <vector>

namespace host {

// What `validate --json` prints: `{"ok": true, "record": ..., "warnings": [...]}` (or "records"
// for a timeline), with the records as compact as they were encoded.
std::string acceptedJson(const ActivityInput& input);
// `{"ok": false, "error": {"kind", "key", "path", "message", "line"}, "warnings": [...]}`
std::string rejectedJson(const InputFailure& failure, const std::vector<Warning>& warnings);

}  // namespace host
