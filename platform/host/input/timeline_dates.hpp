#pragma once

#include <string>
#include <string_view>

namespace host {

// A timeline (or one document) with every date its payloads carry (`aps.timestamp`,
// `aps.stale-date`, `aps.dismissal-date`, in seconds) moved by one offset, so that its first
// timestamp (or, lacking one, its first date) becomes `start` and the intervals stay. Everything
// else is kept byte for byte; a line that does not read, or carries no dates, is kept as it is.
std::string datesMovedTo(std::string_view input, double start);

}  // namespace host
