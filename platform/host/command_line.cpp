#include "platform/host/command_line.hpp"

#include "platform/coding/json_writer.hpp"
#include "platform/host/activity_input.hpp"
#include "platform/host/command_input.hpp"
#include "platform/host/device_profile.hpp"
#include "platform/host/render_command.hpp"
#include "platform/host/serve/serve_command.hpp"

#include <CLI/CLI.hpp>

#include <iostream>
#include <iterator>
#include <optional>

namespace host {
namespace {

struct ValidateOptions {
  std::string type;
  bool json = false;
  std::string file;
};

int runValidate(const ValidateOptions& options, const ActivityRegistry& registry, std::istream& in,
                std::ostream& out, std::ostream& err) {
  int status = exitAccepted;
  const auto input =
      readInputOrReport(options.file, options.type, registry, options.json, in, out, err, status);
  if (!input) return status;
  if (!options.json) {
    for (const ActivityEvent& event : input->events) out << event.encoded << '\n';
    printWarnings(input->warnings, err);
    return exitAccepted;
  }
  std::string text;
  coding::JsonWriter writer(text);
  if (input->timeline) {
    writer.raw("{\"ok\": true, \"records\": [");
    for (std::size_t i = 0; i < input->events.size(); ++i) {
      if (i > 0) writer.raw(", ");
      writer.raw(input->events[i].encoded);
    }
    writer.raw("]");
  } else {
    writer.raw("{\"ok\": true, \"record\": ");
    writer.raw(input->events.front().encoded);
  }
  writeWarningsJson(writer, input->warnings);
  writer.raw("}");
  out << text << '\n';
  return exitAccepted;
}

constexpr std::string_view presentationNames[] = {
    "lockscreen", "expanded", "compact-leading", "compact-trailing", "minimal", "island", "all"};

struct TreeOptions {
  std::string type;
  std::string presentation = "all";
  std::string file;
};

std::string expandedDump(const widgets::DynamicIsland& island) {
  std::string out;
  for (const auto& region : island.expanded()) {
    out += describe(region) + "\n" + ui::dump(region.content, 2);
  }
  return out;
}

std::string presentationDump(const ActivityEvent& event, std::string_view presentation) {
  const widgets::ActivityType& type = *event.type;
  const std::any attributes = event.attributes ? *event.attributes : type.defaultAttributes();
  const std::any& state = *event.contentState;
  if (presentation == "lockscreen") return ui::dump(type.lockScreen(attributes, state));
  const widgets::DynamicIsland island = type.dynamicIsland(attributes, state);
  if (presentation == "expanded") return expandedDump(island);
  if (presentation == "compact-leading") return ui::dump(island.compactLeading());
  if (presentation == "compact-trailing") return ui::dump(island.compactTrailing());
  if (presentation == "minimal") return ui::dump(island.minimal());
  if (presentation == "island") return widgets::dump(island);
  return ui::dump(type.lockScreen(attributes, state)) + widgets::dump(island);
}

int runTree(const TreeOptions& options, const ActivityRegistry& registry, std::istream& in,
            std::ostream& out, std::ostream& err) {
  int status = exitAccepted;
  const auto input =
      readInputOrReport(options.file, options.type, registry, false, in, out, err, status);
  if (!input) return status;
  if (!input->timeline) {
    const ActivityEvent& event = input->events.front();
    if (!event.contentState) {
      err << "error: usage: the input holds no content state, so it has no presentations\n";
      return exitUsage;
    }
    out << presentationDump(event, options.presentation);
    printWarnings(input->warnings, err);
    return exitAccepted;
  }
  for (const ActivityEvent& event : input->events) {
    const std::string label = event.form == ActivityEvent::Form::push       ? event.event
                              : event.form == ActivityEvent::Form::document ? "document"
                                                                            : "record";
    out << "# line " << event.line << ": " << label << ' ' << event.type->name;
    if (!event.contentState) {
      out << ": no content state\n";
    } else if (!event.rebuild) {
      out << ": unchanged, not rebuilt\n";
    } else {
      out << '\n' << presentationDump(event, options.presentation);
    }
  }
  printWarnings(input->warnings, err);
  return exitAccepted;
}

int runTypes(const ActivityRegistry& registry, std::ostream& out, std::ostream& err) {
  for (const auto& type : registry.types()) out << type.name << '\n';
  if (registry.types().empty()) {
    err << "note: no activity types are registered on iOS " << registry.system().description()
        << '\n';
  }
  return exitAccepted;
}

}  // namespace

int runCommandLine(int argc, const char* const* argv, const ActivityRegistry& registry,
                   std::span<const DemoSample> samples, std::istream& in, std::ostream& out,
                   std::ostream& err) {
  CLI::App app{"Checks, shows and renders the Live Activities of the Tolvex widget extension.",
               "tolvex-widget"};
  app.require_subcommand(1);
  std::string systemVersion;
  app.add_option("--system-version", systemVersion,
                 "The system version to behave as, such as 17.4 (default " +
                     widgets::defaultSystemVersion.description() + ")");

  CLI::App* typesCommand =
      app.add_subcommand("types", "List the registered activity types in registration order");

  ValidateOptions validate;
  CLI::App* validateCommand =
      app.add_subcommand("validate", "Decode a record and print it re-encoded, or say why not");
  validateCommand->add_option("--type", validate.type,
                              "The record or activity type: " + registry.names(true));
  validateCommand->add_flag("--json", validate.json, "Print the outcome as a JSON object");
  validateCommand->add_option("file", validate.file, "The input file, or - for standard input");

  TreeOptions tree;
  CLI::App* treeCommand =
      app.add_subcommand("tree", "Print the view trees a content state presents");
  treeCommand->add_option("--type", tree.type, "The content state or activity type");
  treeCommand
      ->add_option(
          "--presentation", tree.presentation,
          "lockscreen, expanded, compact-leading, compact-trailing, minimal, island or all")
      ->check(CLI::IsMember(
          std::vector<std::string>(std::begin(presentationNames), std::end(presentationNames))));
  treeCommand->add_option("file", tree.file, "The input file, or - for standard input");

  RenderOptions render;
  render.device = std::string(defaultDeviceProfile().name);
  CLI::App* renderCommand = app.add_subcommand("render", "Draw presentations as PNG, SVG or PDF");
  renderCommand->add_option("--type", render.type, "The content state or activity type");
  renderCommand
      ->add_option(
          "--presentation", render.presentation,
          "lockscreen, expanded, compact-leading, compact-trailing, minimal, island or all")
      ->check(CLI::IsMember(
          std::vector<std::string>(std::begin(presentationNames), std::end(presentationNames))));
  renderCommand->add_option("--appearance", render.appearance, "light, dark or both")
      ->check(CLI::IsMember({"light", "dark", "both"}));
  renderCommand->add_option("--device", render.device, "iphone-15-pro or iphone-15-pro-max");
  renderCommand->add_option("--scale", render.scale, "Pixels per point for PNG: 1, 2 or 3")
      ->check(CLI::IsMember({1, 2, 3}));
  renderCommand->add_option("--format", render.format, "png, svg or pdf (default: from -o)")
      ->check(CLI::IsMember({"png", "svg", "pdf"}));
  renderCommand->add_option("-o,--output", render.output, "The file to write")->required();
  renderCommand->add_option("file", render.file, "The input file, or - for standard input");

  std::string demoDirectory = "tolvex-demo";
  CLI::App* demoCommand = app.add_subcommand(
      "demo", "Render the built-in sample activities into a folder with an index.html gallery");
  demoCommand->add_option("-o,--output", demoDirectory,
                          "The folder to write (default tolvex-demo)");

  // serve: the local push endpoint (platform/host/serve).
  ServeOptions serveOptions;
  CLI::App* serveCommand = app.add_subcommand(
      "serve", "Run a local push endpoint with simulated devices that say what they did");
  serveCommand->add_option("--listen", serveOptions.listen, "The address to listen on");
  serveCommand->add_option("--apns-port", serveOptions.apnsPort, "The push port (0: any free)");
  serveCommand->add_option("--page-port", serveOptions.pagePort, "The page port (0: any free)");
  serveCommand->add_option("--state", serveOptions.state, "The folder for history and keys");
  serveCommand->add_option("--bundle-id", serveOptions.bundleId, "The only bundle accepted");
  serveCommand->add_option("--auth-key", serveOptions.authKey, "The sender's .p8 key");
  serveCommand->add_option("--key-id", serveOptions.keyId, "The key's 10-character id");
  serveCommand->add_option("--team-id", serveOptions.teamId, "The 10-character team id");
  serveCommand->add_option("--cert", serveOptions.certificate, "A PEM certificate to serve");
  serveCommand->add_option("--key", serveOptions.key, "The certificate's PEM key");

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
  if (typesCommand->parsed()) return runTypes(registry, out, err);
  if (validateCommand->parsed()) return runValidate(validate, registry, in, out, err);
  if (treeCommand->parsed()) return runTree(tree, registry, in, out, err);
  if (renderCommand->parsed()) return runRender(render, registry, in, out, err);
  if (demoCommand->parsed()) return runDemo(demoDirectory, registry, samples, out, err);
  if (serveCommand->parsed()) return runServe(serveOptions, registry, out, err);
  return exitUsage;
}

int serve(int argc, const char* const* argv, std::span<const widgets::ActivityType> types,
          std::span<const DemoSample> samples) {
  const ActivityRegistry registry({types.begin(), types.end()}, widgets::currentSystemVersion());
  try {
    return runCommandLine(argc, argv, registry, samples, std::cin, std::cout, std::cerr);
  } catch (const std::exception& error) {
    std::cerr << "error: internal: " << error.what() << '\n';
    return exitFailure;
  }
}

}  // namespace host
