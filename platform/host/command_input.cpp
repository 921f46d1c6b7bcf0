#include "platform/host/command_input.hpp"

#include "platform/coding/json_document.hpp"
#include "platform/coding/json_writer.hpp"
#include "platform/host/command_line.hpp"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <variant>

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

}  // namespace

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

namespace {

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

}  // namespace

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

}  // namespace host
