#include "platform/host/command.hpp"
#include "platform/host/serve/service/provider_token.hpp"

#include <CLI/CLI.hpp>

#include <chrono>
#include <ostream>

namespace host {
namespace {

// A provider token for curl and other clients that do not make their own: what the README's
// curl example sends as `authorization: bearer $JWT`.
class TokenCommand final : public Command {
 public:
  CLI::App* add(CLI::App& app) override {
    CLI::App* command = app.add_subcommand(
        "token", "Print a provider token (ES256 JWT, issued now) signed with a .p8 key");
    command->add_option("--key", key_, "The sender's .p8 key (AuthKey_XXXXXXXXXX.p8)")
        ->required();
    command->add_option("--key-id", keyId_, "The key's 10-character id")->required();
    command->add_option("--team-id", teamId_, "The 10-character team id")->required();
    return command;
  }

  ExitStatus run(const CommandContext& context) const override {
    if (keyId_.size() != 10 || teamId_.size() != 10) {
      context.err << "error: usage: --key-id and --team-id are 10 characters each, as the push "
                     "service gives them\n";
      return exitUsage;
    }
    auto loaded = serve::Es256Key::fromFile(key_);
    if (auto* why = std::get_if<std::string>(&loaded)) {
      context.err << "error: " << *why << '\n';
      return exitFailure;
    }
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    const auto token =
        serve::makeProviderToken(std::get<serve::Es256Key>(loaded), keyId_, teamId_, now);
    if (!token) {
      context.err << "error: " << key_ << ": cannot sign with it: a private key is needed\n";
      return exitFailure;
    }
    context.out << *token << '\n';
    return exitAccepted;
  }

 private:
  std::string key_;
  std::string keyId_;
  std::string teamId_;
};

}  // namespace

std::unique_ptr<Command> tokenCommand() {
  return std::make_unique<TokenCommand>();
}

}  // namespace host
