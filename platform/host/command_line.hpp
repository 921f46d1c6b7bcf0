#pragma once

#include "platform/host/activity_registry.hpp"

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

// Runs `tolvex-widget <command> ...` over the activity types a bundle registered.
int runCommandLine(int argc, const char* const* argv, const ActivityRegistry& registry,
                   std::istream& in, std::ostream& out, std::ostream& err);

// The host the extension machinery hands a bundle to: the command line on the standard streams,
// on the running system.
int serve(int argc, const char* const* argv, std::span<const widgets::ActivityType> types);

}  // namespace host
