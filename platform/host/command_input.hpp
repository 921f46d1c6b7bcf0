#pragma once

#include "platform/coding/result.hpp"
#include "platform/host/command.hpp"
#include "platform/host/input/activity_input.hpp"

#include <iosfwd>
#include <string>
#include <vector>

namespace host {

// The input a command reads: a file, or standard input for "" and "-"; and the type --type names.
struct InputOptions {
  std::string type;
  std::string file;

  // --type and the FILE argument.
  void addTo(CLI::App& command);
};

// How a rejected input is told: a line on standard error, or a JSON object on standard output.
enum class RejectionReport { text, json };

// Reads and decodes the input, or reports what keeps it from being used and gives the exit
// status: an I/O failure (3), a usage mistake (2), a rejected input (1).
coding::Result<ActivityInput, ExitStatus> readCommandInput(const InputOptions& options,
                                                           const CommandContext& context,
                                                           RejectionReport report);

void printWarnings(const std::vector<Warning>& warnings, std::ostream& err);

}  // namespace host
