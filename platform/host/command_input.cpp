#include "platform/host/command_input.hpp"

#include "platform/coding/json_document.hpp"
#include "platform/host/validation_json.hpp"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>

namespace host {
namespace {

struct InputError {
  std::string message;
};

// Reads at most one byte more than a document may hold, so an oversized input is refused by the
// reader without being read whole.
coding::Result<std::string, InputError> readInput(const std::string& path,
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

}  // namespace

void InputOptions::addTo(CLI::App& command) {
  command.add_option("--type", type, "The record or activity type (see `types`)");
  command.add_option("file", file, "The input file, or - for standard input");
}

void printWarnings(const std::vector<Warning>& warnings, std::ostream& err) {
  for (const Warning& warning : warnings) err << "warning: " << warning.description() << '\n';
}

coding::Result<ActivityInput, ExitStatus> readCommandInput(const InputOptions& options,
                                                           const CommandContext& context,
                                                           RejectionReport report) {
  auto text = readInput(options.file, context.in);
  if (!text) {
    context.err << "error: io: " << text.error().message << '\n';
    return exitFailure;
  }
  ActivityInput input = readActivityInput(*text, context.registry, options.type);
  if (!input.failure) return input;
  const InputFailure& failure = *input.failure;
  if (failure.kind == InputFailure::Kind::usage) {
    context.err << "error: " << failure.description() << '\n';
    return exitUsage;
  }
  if (report == RejectionReport::json) {
    context.out << rejectedJson(failure, input.warnings) << '\n';
  } else {
    printWarnings(input.warnings, context.err);
    context.err << "error: " << failure.description() << '\n';
  }
  return exitRejected;
}

}  // namespace host
