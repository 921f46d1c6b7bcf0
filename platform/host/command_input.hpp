#pragma once

#include "platform/coding/json_writer.hpp"
#include "platform/host/activity_input.hpp"

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace host {

// Reads the input a command names (a file, or standard input for "" and "-") and reports what
// keeps it from being used: an I/O failure (status 3), a usage mistake (2) or a rejected input (1,
// as a JSON object on `out` with `json`). The input when it can be used.
std::optional<ActivityInput> readInputOrReport(const std::string& file, const std::string& type,
                                               const ActivityRegistry& registry, bool json,
                                               std::istream& in, std::ostream& out,
                                               std::ostream& err, int& status);

void printWarnings(const std::vector<Warning>& warnings, std::ostream& err);
void writeWarningsJson(coding::JsonWriter& writer, const std::vector<Warning>& warnings);

}  // namespace host
