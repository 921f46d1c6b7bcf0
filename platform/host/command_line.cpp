#include "platform/host/command_line.hpp"

#include "platform/coding/json_document.hpp"
#include "platform/coding/json_writer.hpp"
#include "platform/host/activity_input.hpp"
#include "platform/host/scene.hpp"
#include "platform/ui/render/cairo_renderer.hpp"
#include "platform/ui/render/pango_text_measurer.hpp"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>

namespace host {
namespace {

struct InputError {
  std::string message;
};

// Reads at most one byte more than a document may hold, so an oversized input is refused by the
// reader without being read whole.
std::variant<std::string, InputError> readInput(const std::string& path,
                                                std::istream& stdinStream) {
  constexpr std::size_t limit = coding::JsonDocument::maxBytes + 1;
  auto readAll = [&](std::istream& stream) {
    std::string text;
    char buffer[1 << 16];
    while (text.size() < limit && stream.read(buffer, sizeof buffer).gcount() > 0) {
      text.append(buffer, static_cast<std::size_t>(stream.gcount()));
    }
    if (text.size() > limit) text.resize(limit);
    return text;
  };
  if (path.empty() || path == "-") {
    std::string text = readAll(stdinStream);
    if (stdinStream.bad()) return InputError{"cannot read standard input"};
    return text;
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) return InputError{"cannot open '" + path + "': " + std::strerror(errno)};
  std::string text = readAll(file);
  if (file.bad()) return InputError{"cannot read '" + path + "': " + std::strerror(errno)};
  return text;
}

void writeWarningsJson(coding::JsonWriter& writer, const std::vector<Warning>& warnings) {
  writer.raw(", \"warnings\": [");
  for (std::size_t i = 0; i < warnings.size(); ++i) {
    const Warning& warning = warnings[i];
    if (i > 0) writer.raw(", ");
    writer.raw("{\"line\": ");
    if (warning.line > 0) {
      writer.raw(std::to_string(warning.line));
    } else {
      writer.null();
    }
    writer.raw(", \"member\": ");
    if (warning.member.empty()) {
      writer.null();
    } else {
      writer.string(warning.member);
    }
    writer.raw(", \"message\": ");
    writer.string(warning.message);
    writer.raw("}");
  }
  writer.raw("]");
}

void writeFailureJson(std::ostream& out, const InputFailure& failure,
                      const std::vector<Warning>& warnings) {
  std::string text;
  coding::JsonWriter writer(text);
  writer.raw("{\"ok\": false, \"error\": {\"kind\": ");
  writer.string(failure.kind);
  writer.raw(", \"key\": ");
  if (failure.path.empty()) {
    writer.null();
  } else {
    writer.string(failure.path.back());
  }
  writer.raw(", \"path\": [");
  for (std::size_t i = 0; i < failure.path.size(); ++i) {
    if (i > 0) writer.raw(", ");
    writer.string(failure.path[i]);
  }
  writer.raw("], \"message\": ");
  writer.string(failure.detail);
  if (failure.line > 0) writer.raw(", \"line\": " + std::to_string(failure.line));
  writer.raw("}");
  writeWarningsJson(writer, warnings);
  writer.raw("}");
  out << text << '\n';
}

void printWarnings(const std::vector<Warning>& warnings, std::ostream& err) {
  for (const Warning& warning : warnings) err << "warning: " << warning.description() << '\n';
}

// Reads the input and reports a failure; the input when it can be used.
std::optional<ActivityInput> readInputOrReport(const std::string& file, const std::string& type,
                                               const ActivityRegistry& registry, bool json,
                                               std::istream& in, std::ostream& out,
                                               std::ostream& err, int& status) {
  auto input = readInput(file, in);
  if (auto* failure = std::get_if<InputError>(&input)) {
    err << "error: io: " << failure->message << '\n';
    status = exitFailure;
    return std::nullopt;
  }
  ActivityInput activity = readActivityInput(std::get<std::string>(input), registry, type);
  if (!activity.failure) return activity;
  const InputFailure& failure = *activity.failure;
  if (failure.category == InputFailure::Category::usage) {
    err << "error: " << failure.description() << '\n';
    status = exitUsage;
    return std::nullopt;
  }
  if (json) {
    writeFailureJson(out, failure, activity.warnings);
  } else {
    printWarnings(activity.warnings, err);
    err << "error: " << failure.description() << '\n';
  }
  status = exitRejected;
  return std::nullopt;
}

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

struct RenderOptions {
  std::string type;
  std::string presentation = "all";
  std::string appearance = "light";
  std::string device = std::string(defaultDeviceProfile().name);
  int scale = 3;
  std::string format;
  std::string output;
  std::string file;
};

std::vector<Presentation> presentationsFor(std::string_view name) {
  if (name == "lockscreen") return {Presentation::lockScreen};
  if (name == "expanded") return {Presentation::expanded};
  if (name == "compact-leading") return {Presentation::compactLeading};
  if (name == "compact-trailing") return {Presentation::compactTrailing};
  if (name == "minimal") return {Presentation::minimal};
  if (name == "island") {
    return {Presentation::expanded, Presentation::compactLeading, Presentation::minimal};
  }
  return {Presentation::lockScreen, Presentation::expanded, Presentation::compactLeading,
          Presentation::minimal};
}

std::vector<ui::render::Appearance> appearancesFor(std::string_view name) {
  if (name == "dark") return {ui::render::Appearance::dark};
  if (name == "both") return {ui::render::Appearance::light, ui::render::Appearance::dark};
  return {ui::render::Appearance::light};
}

ActivityPresentations build(const ActivityEvent& event) {
  const widgets::ActivityType& type = *event.type;
  const std::any attributes = event.attributes ? *event.attributes : type.defaultAttributes();
  return {type.lockScreen(attributes, *event.contentState),
          type.dynamicIsland(attributes, *event.contentState)};
}

// One drawing of the asked presentations: a bare scene for one presentation in one appearance,
// a labelled sheet otherwise.
ui::render::DisplayList drawing(const ActivityPresentations& activity,
                                const std::vector<Presentation>& presentations,
                                const std::vector<ui::render::Appearance>& appearances,
                                const DeviceProfile& device,
                                const ui::layout::TextMeasurer& measurer) {
  if (presentations.size() == 1 && appearances.size() == 1) {
    return scene(activity, presentations.front(), device, appearances.front(), measurer);
  }
  return sheet(activity, presentations, appearances, device, measurer);
}

std::string encoded(const ui::render::DisplayList& list, std::string_view format, int scale,
                    const ui::render::TextSystem& text) {
  if (format == "svg") return ui::render::renderSVG(list, text);
  const std::vector<std::uint8_t> bytes = format == "pdf"
                                              ? ui::render::renderPDF(list, text)
                                              : ui::render::renderPNG(list, scale, text);
  return std::string(bytes.begin(), bytes.end());
}

bool writeFile(const std::string& path, const std::string& bytes, std::ostream& err) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file.close();
  if (!file) {
    err << "error: io: cannot write '" << path << "': " << std::strerror(errno) << '\n';
    return false;
  }
  return true;
}

// "out.png" becomes "out-003.png" for the third frame of a timeline.
std::string framePath(const std::string& output, std::size_t frame) {
  const std::size_t slash = output.find_last_of('/');
  const std::size_t dot = output.find_last_of('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  char number[16];
  std::snprintf(number, sizeof number, "-%03zu", frame);
  return hasExtension ? output.substr(0, dot) + number + output.substr(dot) : output + number;
}

std::string formatFor(const RenderOptions& options) {
  if (!options.format.empty()) return options.format;
  const auto ends = [&](std::string_view suffix) { return options.output.ends_with(suffix); };
  if (ends(".svg")) return "svg";
  if (ends(".pdf")) return "pdf";
  return "png";
}

int runRender(const RenderOptions& options, const ActivityRegistry& registry, std::istream& in,
              std::ostream& out, std::ostream& err) {
  const DeviceProfile* device = findDeviceProfile(options.device);
  if (device == nullptr) {
    err << "error: usage: unknown device '" << options.device << "'; one of:";
    for (const DeviceProfile& profile : deviceProfiles()) err << ' ' << profile.name;
    err << '\n';
    return exitUsage;
  }
  int status = exitAccepted;
  const auto input =
      readInputOrReport(options.file, options.type, registry, false, in, out, err, status);
  if (!input) return status;
  printWarnings(input->warnings, err);

  const ui::render::TextSystem text;
  const ui::render::PangoTextMeasurer measurer(text);
  const auto presentations = presentationsFor(options.presentation);
  const auto appearances = appearancesFor(options.appearance);
  const std::string format = formatFor(options);
  std::size_t frame = 0;
  for (const ActivityEvent& event : input->events) {
    if (!event.contentState || !event.rebuild) continue;
    const auto list = drawing(build(event), presentations, appearances, *device, measurer);
    const std::string path = input->timeline ? framePath(options.output, ++frame) : options.output;
    if (!writeFile(path, encoded(list, format, options.scale, text), err)) return exitFailure;
    if (input->timeline) out << path << '\n';
    if (!input->timeline) break;
  }
  if (frame == 0 && input->timeline) {
    err << "error: usage: the timeline holds no content state to render\n";
    return exitUsage;
  }
  if (!input->timeline && !input->events.front().contentState) {
    err << "error: usage: the input holds no content state, so it has no presentations\n";
    return exitUsage;
  }
  return exitAccepted;
}

std::string htmlEscaped(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

int runDemo(const std::string& directory, const ActivityRegistry& registry,
            std::span<const DemoSample> samples, std::ostream& out, std::ostream& err) {
  if (registry.types().empty()) {
    err << "error: unavailable: " << registry.whyNotFound("the demo") << '\n';
    return exitRejected;
  }
  std::error_code error;
  std::filesystem::create_directories(directory, error);
  if (error) {
    err << "error: io: cannot create '" << directory << "': " << error.message() << '\n';
    return exitFailure;
  }
  const ui::render::TextSystem text;
  const ui::render::PangoTextMeasurer measurer(text);
  const auto presentations = presentationsFor("all");
  const std::vector<ui::render::Appearance> both{ui::render::Appearance::light,
                                                 ui::render::Appearance::dark};
  std::string html =
      "<!doctype html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<title>Tolvex Live Activities</title>\n<style>\n"
      "body{font-family:Inter,system-ui,sans-serif;margin:2rem;background:#f2f2f7;color:#1c1c1e}\n"
      "figure{margin:0 0 3rem}img{max-width:100%;height:auto;border-radius:8px;"
      "box-shadow:0 1px 4px rgba(0,0,0,.15)}figcaption{font-weight:600;margin:.5rem 0}\n"
      "</style>\n</head>\n<body>\n<h1>Tolvex Live Activities</h1>\n"
      "<p>Every presentation of each sample, light and dark, as drawn for " +
      std::string(defaultDeviceProfile().name) + ".</p>\n";
  std::size_t count = 0;
  for (const DemoSample& sample : samples) {
    const ActivityInput input = readActivityInput(sample.document, registry, "");
    if (input.failure || input.events.empty() || !input.events.front().contentState) {
      err << "error: internal: demo sample '" << sample.name
          << "': " << (input.failure ? input.failure->description() : "no content state") << '\n';
      return exitFailure;
    }
    const ActivityPresentations activity = build(input.events.front());
    const auto list = sheet(activity, presentations, both, defaultDeviceProfile(), measurer);
    const std::string base = std::string(sample.name);
    if (!writeFile(directory + "/" + base + ".png", encoded(list, "png", 2, text), err) ||
        !writeFile(directory + "/" + base + ".svg", encoded(list, "svg", 1, text), err)) {
      return exitFailure;
    }
    html += "<figure>\n<figcaption>" + htmlEscaped(sample.title) + "</figcaption>\n<a href=\"" +
            base + ".svg\"><img src=\"" + base + ".png\" alt=\"" + htmlEscaped(sample.title) +
            "\"></a>\n</figure>\n";
    ++count;
    err << "rendered " << count << " of " << samples.size() << ": " << sample.name << '\n';
  }
  html += "</body>\n</html>\n";
  const std::string index = directory + "/index.html";
  if (!writeFile(index, html, err)) return exitFailure;
  out << "wrote " << count << " sample activities to " << index << '\n';
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
