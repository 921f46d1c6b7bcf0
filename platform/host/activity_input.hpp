#pragma once

#include "platform/coding/decoding_error.hpp"
#include "platform/host/activity_registry.hpp"

#include <any>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace host {

// The most the platform accepts for one activity's attributes and content state together,
// encoded.
inline constexpr std::size_t activityDataLimit = 4096;

// Something a careful sender should know that does not make the input wrong.
struct Warning {
  std::size_t line = 0;  // 0 outside a timeline
  std::string member;    // the member it is about, if any
  std::string message;

  // `line 3: "member": message`
  std::string description() const;
};

// Why an input was refused, and where.
struct InputFailure {
  enum class Category { rejected, usage };
  Category category = Category::rejected;
  std::size_t line = 0;
  std::string kind;  // a decoding failure's kind, "invalidValue", or "unavailable"
  coding::CodingPath path;
  std::string detail;

  // `line 3: keyNotFound: "aps.content-state": no value for this key`
  std::string description() const;
};

// One record, document or push event read from the input.
struct ActivityEvent {
  enum class Form { attributesRecord, contentStateRecord, document, push };

  Form form = Form::document;
  std::size_t line = 0;
  std::string event;  // push payloads: "start", "update" or "end"
  const widgets::ActivityType* type = nullptr;
  std::optional<std::any> attributes;  // for a push update or end: the activity's, if known
  std::optional<std::any> contentState;
  // What it carries, re-encoded: the record itself, or an activity document (with the event
  // first for a push payload).
  std::string encoded;
  // False for an update that changes nothing: the host does not rebuild its presentations.
  bool rebuild = true;
};

struct ActivityInput {
  bool timeline = false;
  std::vector<ActivityEvent> events;
  std::vector<Warning> warnings;
  std::optional<InputFailure> failure;  // reading stops at the first
};

// Reads a bare record (its type named by `typeName`), an activity document, a Live Activity push
// payload, or a JSON Lines timeline of documents and payloads. Activity types come from the
// registry only.
ActivityInput readActivityInput(std::string_view input, const ActivityRegistry& registry,
                                std::string_view typeName);

}  // namespace host
