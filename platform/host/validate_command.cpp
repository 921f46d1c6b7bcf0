#include "platform/host/command_input.hpp"
#include "platform/host/validation_json.hpp"

#include <CLI/CLI.hpp>

#include <ostream>

namespace host {
namespace {

class ValidateCommand final : public Command {
 public:
  CLI::App* add(CLI::App& app) override {
    CLI::App* command =
        app.add_subcommand("validate", "Decode a record and print it re-encoded, or say why not");
    input_.addTo(*command);
    command->add_flag("--json", json_, "Print the outcome as a JSON object");
    return command;
  }

  ExitStatus run(const CommandContext& context) const override {
    const auto input =
        readCommandInput(input_, context, json_ ? RejectionReport::json : RejectionReport::text);
    if (!input) return input.error();
    if (json_) {
      context.out << acceptedJson(*input) << '\n';
      return exitAccepted;
    }
    for (const ActivityEvent& event : input->events) context.out << event.encoded << '\n';
    printWarnings(input->warnings, context.err);
    return exitAccepted;
  }

 private:
  InputOptions input_;
  bool json_ = false;
};

}  // namespace

std::unique_ptr<Command> validateCommand() {
  return std::make_unique<ValidateCommand>();
}

}  // namespace host
