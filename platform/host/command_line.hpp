#pragma once

#include "platform/host/record_kind.hpp"

#include <iosfwd>
#include <span>

namespace host {

// Exit statuses of the command line.
enum ExitStatus : int {
  exitAccepted = 0,
  exitRejected = 1,
  exitUsage = 2,
  exitFailure = 3,
};

// Runs `tolvex-widget <command> ...` over the record kinds it is given.
int runCommandLine(int argc, const char* const* argv, std::span<const RecordKind> kinds,
                   std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace host
