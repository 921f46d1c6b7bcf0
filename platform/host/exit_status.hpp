#pragma once

namespace host {

// Exit statuses of the command line.
enum ExitStatus : int {
  exitAccepted = 0,
  exitRejected = 1,
  exitUsage = 2,
  exitFailure = 3,
};

}  // namespace host
