#pragma once

#include "platform/widgets/activity_type.hpp"

#include <any>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace host {

// What a Live Activity push asks of an activity.
enum class PushEvent { start, update, end };

std::string_view eventName(PushEvent event);
std::optional<PushEvent> pushEventNamed(std::string_view name);

// One record, document or push event read from the input.
struct ActivityEvent {
  enum class Form { attributesRecord, contentStateRecord, document, push };

  Form form = Form::document;
  std::size_t line = 0;
  PushEvent event = PushEvent::start;  // push payloads only
  const widgets::ActivityType* type = nullptr;
  std::optional<std::any> attributes;  // for a push update or end: the activity's, if known
  std::optional<std::any> contentState;
  // What it carries, re-encoded: the record itself, or an activity document (with the event
  // first for a push payload).
  std::string encoded;
  // A document's or a push payload's records as `encoded` holds them, each alone; empty for a
  // record the event does not carry.
  std::string encodedAttributes;
  std::string encodedContentState;
  // False for an update that changes nothing: the host does not rebuild its presentations.
  bool rebuild = true;
  // A push payload's dates, and what it asks of the phone beside its records, as decoded.
  std::optional<double> timestamp;
  std::optional<double> staleDate;
  std::optional<double> dismissalDate;
  std::optional<double> relevanceScore;
  bool wantsUpdateToken = false;
  std::string channel;
};

}  // namespace host
