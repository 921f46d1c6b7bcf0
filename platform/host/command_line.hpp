#pragma once

#include "platform/host/command.hpp"
#include "platform/widgets/extension_main.hpp"

#include <iosfwd>
#include <span>

namespace host {

// Runs `tolvex-widget [--system-version V] <command> ...`: reads the system version once,
// registers the bundle for that system, and runs the command over what it registered.
int runCommandLine(int argc, const char* const* argv, widgets::BundleRegistration registration,
                   std::span<const DemoSample> samples, std::istream& in, std::ostream& out,
                   std::ostream& err);

// The command line on the standard streams; no exception leaves it.
int runHost(int argc, const char* const* argv, widgets::BundleRegistration registration,
            std::span<const DemoSample> samples);

}  // namespace host
