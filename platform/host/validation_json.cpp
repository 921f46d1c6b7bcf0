#include "platform/host/validation_json.hpp"

#include "platform/coding/json_writer.hpp"

namespace host {
namespace {

using coding::JsonWriter;

void member(JsonWriter& writer, std::string_view name) {
  writer.comma();
  writer.string(name);
  writer.colon();
}

void optionalString(JsonWriter& writer, std::string_view text) {
  if (text.empty()) {
    writer.null();
  } else {
    writer.string(text);
  }
}

void warningsMember(JsonWriter& writer, const std::vector<Warning>& warnings) {
  member(writer, "warnings");
  writer.beginArray();
  for (std::size_t i = 0; i < warnings.size(); ++i) {
    const Warning& warning = warnings[i];
    if (i > 0) writer.comma();
    writer.beginObject();
    writer.string("line");
    writer.colon();
    if (warning.line > 0) {
      writer.number(static_cast<double>(warning.line));
    } else {
      writer.null();
    }
    member(writer, "member");
    optionalString(writer, warning.member);
    member(writer, "message");
    writer.string(warning.message);
    writer.endObject();
  }
  writer.endArray();
}

}  // namespace

std::string acceptedJson(const ActivityInput& input) {
  std::string text;
  JsonWriter writer(text, JsonWriter::Style::spaced);
  writer.beginObject();
  writer.string("ok");
  writer.colon();
  writer.boolean(true);
  if (input.timeline) {
    member(writer, "records");
    writer.beginArray();
    for (std::size_t i = 0; i < input.events.size(); ++i) {
      if (i > 0) writer.comma();
      writer.raw(input.events[i].encoded);
    }
    writer.endArray();
  } else {
    member(writer, "record");
    writer.raw(input.events.front().encoded);
  }
  warningsMember(writer, input.warnings);
  writer.endObject();
  return text;
}

std::string rejectedJson(const InputFailure& failure, const std::vector<Warning>& warnings) {
  std::string text;
  JsonWriter writer(text, JsonWriter::Style::spaced);
  writer.beginObject();
  writer.string("ok");
  writer.colon();
  writer.boolean(false);
  member(writer, "error");
  writer.beginObject();
  writer.string("kind");
  writer.colon();
  writer.string(kindName(failure.kind));
  member(writer, "key");
  optionalString(writer, failure.path.empty() ? std::string_view() : failure.path.back());
  member(writer, "path");
  writer.beginArray();
  for (std::size_t i = 0; i < failure.path.size(); ++i) {
    if (i > 0) writer.comma();
    writer.string(failure.path[i]);
  }
  writer.endArray();
  member(writer, "message");
  writer.string(failure.detail);
  if (failure.line > 0) {
    member(writer, "line");
    writer.number(static_cast<double>(failure.line));
  }
  writer.endObject();
  warningsMember(writer, warnings);
  writer.endObject();
  return text;
}

}  // namespace host
