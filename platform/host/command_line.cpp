#include "platform/host/command_line.hpp"

#include <CLI/CLI.hpp>

#include <iostream>
#include <vector>

namespace host {

int runCommandLine(int argc, const char* const* argv, widgets::BundleRegistration registration,
                   std::span<const DemoSample> samples, std::istream& in, std::ostream& out,
                   std::ostream& err) {
  CLI::App app{"Checks, shows and renders the Live Activities of the Tolvex widget extension.",
               "tolvex-widget"};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("tolvex-widget ") + TOLVEX_VERSION,
                       "Print the version and exit");
  widgets::SystemVersion system = widgets::defaultSystemVersion;
  app.add_option_function<std::string>(
         "--system-version",
         [&system](const std::string& text) { system = *widgets::SystemVersion::parse(text); },
         "The system version to behave as, such as 17.4 (default " +
             widgets::defaultSystemVersion.description() + ")")
      ->check(
          [](const std::string& text) {
            return widgets::SystemVersion::parse(text)
                       ? std::string()
                       : "wants MAJOR[.MINOR[.PATCH]], such as 17.4, not '" + text + "'";
          },
          "VERSION");

  std::vector<std::unique_ptr<Command>> commands;
  commands.push_back(typesCommand());
  commands.push_back(validateCommand());
  commands.push_back(treeCommand());
  commands.push_back(renderCommand());
  commands.push_back(demoCommand());
  commands.push_back(checkCommand());
  commands.push_back(serveCommand());
  commands.push_back(tokenCommand());
  std::vector<std::pair<CLI::App*, const Command*>> parsers;
  for (const auto& command : commands) parsers.emplace_back(command->add(app), command.get());

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) {
      app.exit(error, out, err);
      return exitAccepted;
    }
    err << "error: usage: " << error.what() << '\n' << "Run with --help for more information.\n";
    return exitUsage;
  }
  const ActivityRegistry registry(registration(system), system);
  const CommandContext context{registry, samples, in, out, err};
  for (const auto& [parser, command] : parsers) {
    if (parser->parsed()) return command->run(context);
  }
  return exitUsage;
}

int runHost(int argc, const char* const* argv, widgets::BundleRegistration registration,
            std::span<const DemoSample> samples) {
  try {
    return runCommandLine(argc, argv, registration, samples, std::cin, std::cout, std::cerr);
  } catch (const std::exception& error) {
    std::cerr << "error: internal: " << error.what() << '\n';
    return exitFailure;
  }
}

}  // namespace host
