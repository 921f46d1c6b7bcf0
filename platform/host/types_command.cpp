#include "platform/host/command.hpp"

#include <CLI/CLI.hpp>

#include <ostream>

namespace host {
namespace {

class TypesCommand final : public Command {
 public:
  CLI::App* add(CLI::App& app) override {
    return app.add_subcommand("types", "List the registered activity types in registration order");
  }

  ExitStatus run(const CommandContext& context) const override {
    for (const auto& type : context.registry.types()) context.out << type.name << '\n';
    if (context.registry.types().empty()) {
      context.err << "note: no activity types are registered on iOS "
                  << context.registry.system().description() << '\n';
    }
    return exitAccepted;
  }
};

}  // namespace

std::unique_ptr<Command> typesCommand() {
  return std::make_unique<TypesCommand>();
}

}  // namespace host
