#pragma once

#include "platform/host/activity_registry.hpp"

#include <iosfwd>
#include <span>
#include <string_view>

namespace host {

// Exit statuses of the command line.
enum ExitStatus : int {
  exitAccepted = 0,
  exitRejected = 1,
  exitUsage = 2,
  exitFailure = 3,
};

// A built-in sample for the demo: an activity document, under a name for its files.
struct DemoSample {
  std::string_view name;
  std::string_view title;
  std::string_view document;
};

// Runs `tolvex-widget <command> ...` over the activity types a bundle registered.
int runCommandLine(int argc, const char* const* argv, const ActivityRegistry& registry,
                   std::span<const DemoSample> samples, std::istream& in, std::ostream& out,
                   std::ostream& err);

// The host the extension machinery hands a bundle to: the command line on the standard streams,
// on the running system.
int serve(int argc, const char* const* argv, std::span<const widgets::ActivityType> types,
          std::span<const DemoSample> samples = {});

}  // namespace host
