#include "platform/host/command_line.hpp"

#include "platform/coding/json_document.hpp"
#include "platform/coding/json_writer.hpp"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstring>
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
std::variant<std::string, InputError> readInput(const std::string& path, std::istream& stdinStream) {
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

std::string kindList(std::span<const RecordKind> kinds) {
  std::string list;
  for (const RecordKind& kind : kinds) {
    if (!list.empty()) list += ", ";
    list += kind.name;
  }
  return list;
}

void writeErrorJson(std::ostream& out, std::string_view kind, const coding::CodingPath& path,
                    const std::string& message) {
  std::string text;
  coding::JsonWriter writer(text);
  writer.raw("{\"ok\": false, \"error\": {\"kind\": ");
  writer.string(kind);
  writer.raw(", \"key\": ");
  if (path.empty()) {
    writer.null();
  } else {
    writer.string(path.back());
  }
  writer.raw(", \"path\": [");
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (i > 0) writer.raw(", ");
    writer.string(path[i]);
  }
  writer.raw("], \"message\": ");
  writer.string(message);
  writer.raw("}}");
  out << text << '\n';
}

const RecordKind* findKind(const std::string& type, std::string_view command,
                           std::span<const RecordKind> kinds, std::ostream& err) {
  if (type.empty()) {
    err << "error: usage: " << command
        << " needs --type to know which record the input holds; one of: " << kindList(kinds)
        << '\n';
    return nullptr;
  }
  for (const RecordKind& kind : kinds) {
    if (kind.name == type) return &kind;
  }
  err << "error: usage: unknown type '" << type << "'; one of: " << kindList(kinds) << '\n';
  return nullptr;
}

struct ValidateOptions {
  std::string type;
  bool json = false;
  std::string file;
};

int runValidate(const ValidateOptions& options, std::span<const RecordKind> kinds,
                std::istream& in, std::ostream& out, std::ostream& err) {
  const RecordKind* kind = findKind(options.type, "validate", kinds, err);
  if (kind == nullptr) return exitUsage;
  auto input = readInput(options.file, in);
  if (auto* failure = std::get_if<InputError>(&input)) {
    err << "error: io: " << failure->message << '\n';
    return exitFailure;
  }
  const RecordOutcome outcome = kind->validate(std::get<std::string>(input));
  if (const auto* record = std::get_if<std::string>(&outcome)) {
    if (options.json) {
      out << "{\"ok\": true, \"record\": " << *record << "}\n";
    } else {
      out << *record << '\n';
    }
    return exitAccepted;
  }
  if (const auto* error = std::get_if<coding::DecodingError>(&outcome)) {
    if (options.json) {
      writeErrorJson(out, coding::kindName(error->kind), error->codingPath, error->detail);
    } else {
      err << "error: " << error->description() << '\n';
    }
    return exitRejected;
  }
  const auto& error = std::get<coding::EncodingError>(outcome);
  if (options.json) {
    writeErrorJson(out, "invalidValue", error.codingPath, error.detail);
  } else {
    err << "error: " << error.description() << '\n';
  }
  return exitRejected;
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

std::string presentationDump(const Presentations& built, std::string_view presentation) {
  if (presentation == "lockscreen") return ui::dump(built.lockScreen);
  if (presentation == "expanded") return expandedDump(built.island);
  if (presentation == "compact-leading") return ui::dump(built.island.compactLeading());
  if (presentation == "compact-trailing") return ui::dump(built.island.compactTrailing());
  if (presentation == "minimal") return ui::dump(built.island.minimal());
  if (presentation == "island") return widgets::dump(built.island);
  return ui::dump(built.lockScreen) + widgets::dump(built.island);
}

int runTree(const TreeOptions& options, std::span<const RecordKind> kinds, std::istream& in,
            std::ostream& out, std::ostream& err) {
  const RecordKind* kind = findKind(options.type, "tree", kinds, err);
  if (kind == nullptr) return exitUsage;
  if (!kind->present) {
    err << "error: usage: " << kind->name
        << " has no presentations; tree needs a content state type\n";
    return exitUsage;
  }
  auto input = readInput(options.file, in);
  if (auto* failure = std::get_if<InputError>(&input)) {
    err << "error: io: " << failure->message << '\n';
    return exitFailure;
  }
  const PresentationOutcome outcome = kind->present(std::get<std::string>(input));
  if (const auto* error = std::get_if<coding::DecodingError>(&outcome)) {
    err << "error: " << error->description() << '\n';
    return exitRejected;
  }
  out << presentationDump(std::get<Presentations>(outcome), options.presentation);
  return exitAccepted;
}

}  // namespace

int runCommandLine(int argc, const char* const* argv, std::span<const RecordKind> kinds,
                   std::istream& in, std::ostream& out, std::ostream& err) {
  CLI::App app{"Checks, shows and renders the Live Activities of the Tolvex widget extension.",
               "tolvex-widget"};
  app.require_subcommand(1);

  ValidateOptions validate;
  CLI::App* validateCommand =
      app.add_subcommand("validate", "Decode a record and print it re-encoded, or say why not");
  validateCommand->add_option("--type", validate.type, "The record type: " + kindList(kinds));
  validateCommand->add_flag("--json", validate.json, "Print the outcome as a JSON object");
  validateCommand->add_option("file", validate.file, "The input file, or - for standard input");

  TreeOptions tree;
  CLI::App* treeCommand =
      app.add_subcommand("tree", "Print the view trees a content state presents");
  treeCommand->add_option("--type", tree.type, "The content state type");
  treeCommand
      ->add_option("--presentation", tree.presentation,
                   "lockscreen, expanded, compact-leading, compact-trailing, minimal, island or all")
      ->check(CLI::IsMember(std::vector<std::string>(std::begin(presentationNames),
                                                     std::end(presentationNames))));
  treeCommand->add_option("file", tree.file, "The input file, or - for standard input");

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
  if (validateCommand->parsed()) return runValidate(validate, kinds, in, out, err);
  if (treeCommand->parsed()) return runTree(tree, kinds, in, out, err);
  return exitUsage;
}

}  // namespace host
