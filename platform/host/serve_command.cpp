#include "platform/host/command.hpp"
#include "platform/host/serve/endpoint.hpp"

#include <CLI/CLI.hpp>

namespace host {
namespace {

class ServeCommand final : public Command {
 public:
  CLI::App* add(CLI::App& app) override {
    CLI::App* command = app.add_subcommand(
        "serve", "Run a local push endpoint with simulated devices that say what they did");
    command->add_option("--listen", options_.listen,
                        "The one address to listen on (default: 127.0.0.1 and ::1)");
    command->add_option("--apns-port", options_.apnsPort,
                        "The push port of the development environment (0: any free)");
    command->add_option_function<std::uint16_t>(
        "--production-port", [this](std::uint16_t port) { options_.productionPort = port; },
        "A push port for the production environment (0: any free; none unless given)");
    command->add_option("--page-port", options_.pagePort, "The page port (0: any free)");
    command->add_option("--state", options_.state, "The folder for history and keys");
    command->add_option("--bundle-id", options_.bundleId, "The only bundle accepted");
    command->add_option("--auth-key", options_.authKey, "The sender's .p8 key");
    command->add_option("--key-id", options_.keyId, "The key's 10-character id");
    command->add_option("--team-id", options_.teamId, "The 10-character team id");
    command
        ->add_option_function<std::string>(
            "--auth-key-environment",
            [this](const std::string& name) {
              if (name == "development") options_.keyEnvironment = serve::Environment::development;
              if (name == "production") options_.keyEnvironment = serve::Environment::production;
            },
            "The environments the provider key may push to (default: both)")
        ->check(CLI::IsMember({"development", "production", "both"}));
    command->add_option("--faults", options_.faults,
                        "A JSON file of fault rules, as POST /api/faults takes them, in an array");
    command->add_option("--replay", options_.replay,
                        "Replay a .json or .jsonl timeline before serving, its dates moved to now "
                        "(repeatable)");
    command->add_option("--cert", options_.certificate, "A PEM certificate to serve");
    command->add_option("--key", options_.key, "The certificate's PEM key");
    command
        ->add_option("--keep-days", options_.retention.days,
                     "Drop pushes older than this many days (0: keep all)")
        ->check(CLI::NonNegativeNumber)
        ->capture_default_str();
    command
        ->add_option("--keep-pushes", options_.retention.pushes,
                     "Keep at most this many pushes, the newest (0: no bound)")
        ->check(CLI::NonNegativeNumber)
        ->capture_default_str();
    // The simulated phones: budgets (chosen defaults: docs/decisions.md) and the rules known from
    // one report each.
    serve::PhoneOptions& phone = options_.phone;
    command->add_flag(
        "--frequent-updates", phone.appAsksFrequentUpdates,
        "The app asks for frequent updates (NSSupportsLiveActivitiesFrequentUpdates)");
    command
        ->add_option("--priority10-budget", phone.priority10Budget,
                     "Priority-10 pushes a device takes in an hour")
        ->check(CLI::Range(0, 1000000000))
        ->capture_default_str();
    command
        ->add_option("--frequent-priority10-budget", phone.frequentPriority10Budget,
                     "The same with frequent updates on")
        ->check(CLI::Range(0, 1000000000))
        ->capture_default_str();
    command
        ->add_option("--push-to-start-budget", phone.pushToStartBudget,
                     "Starts a device takes in an hour")
        ->check(CLI::Range(0, 1000000000))
        ->capture_default_str();
    command->add_flag_callback(
        "--no-stale-start-rule", [&phone] { phone.staleStartRule = false; },
        "Present a start whose stale date has passed (the rule comes from one report)");
    command->add_flag_callback(
        "--no-future-timestamp-rule", [&phone] { phone.futureTimestampRule = false; },
        "Apply a timestamp more than 8 hours ahead (the rule comes from one report)");
    // Hidden: the tests shorten the push port's timeouts to see them act within seconds.
    serve::H2Limits& limits = options_.pushLimits;
    for (auto [name, timeout] : {std::pair{"--handshake-timeout-ms", &limits.handshakeTimeout},
                                 std::pair{"--crowded-idle-timeout-ms", &limits.crowdedIdleTimeout},
                                 std::pair{"--stall-timeout-ms", &limits.stallTimeout}}) {
      command
          ->add_option_function<int>(
              name, [field = timeout](int ms) { *field = std::chrono::milliseconds(ms); })
          ->check(CLI::Range(1, 3600000))
          ->group("");
    }
    return command;
  }

  ExitStatus run(const CommandContext& context) const override {
    switch (serve::runServe(options_, context.registry, context.out, context.err)) {
      case serve::Outcome::stopped:
        return exitAccepted;
      case serve::Outcome::badOptions:
        return exitUsage;
      case serve::Outcome::cannotStart:
        break;
    }
    return exitFailure;
  }

 private:
  serve::ServeOptions options_;
};

}  // namespace

std::unique_ptr<Command> serveCommand() {
  return std::make_unique<ServeCommand>();
}

}  // namespace host
