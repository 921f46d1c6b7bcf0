#pragma once

#include "platform/host/exit_status.hpp"
#include "platform/host/input/activity_registry.hpp"

#include <iosfwd>
#include <memory>
#include <span>
#include <string_view>

namespace CLI {
class App;
}

namespace host {

// A built-in sample for the demo: an activity document, under a name for its files, and how the
// phone it is drawn on is set up ("locale=ar text-size=AX2 presentation=everything
// appearance=dark", any of them).
struct DemoSample {
  std::string_view name;
  std::string_view title;
  std::string_view document;
  std::string_view settings = {};
};

// What every command is given once the arguments are read.
struct CommandContext {
  const ActivityRegistry& registry;
  std::span<const DemoSample> samples;
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
};

// A subcommand of the command line: it adds itself and its options to the parser, and runs once
// the arguments are read and the registry is known.
class Command {
 public:
  virtual ~Command() = default;
  virtual CLI::App* add(CLI::App& app) = 0;
  virtual ExitStatus run(const CommandContext& context) const = 0;
};

std::unique_ptr<Command> typesCommand();
std::unique_ptr<Command> validateCommand();
std::unique_ptr<Command> treeCommand();
std::unique_ptr<Command> renderCommand();
std::unique_ptr<Command> demoCommand();
std::unique_ptr<Command> checkCommand();
std::unique_ptr<Command> serveCommand();
std::unique_ptr<Command> tokenCommand();

}  // namespace host
