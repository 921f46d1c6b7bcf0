#include "platform/host/input/activity_input.hpp"

#include "platform/coding/json_document.hpp"
#include "platform/host/input/activity_document.hpp"
#include "platform/host/input/member_warnings.hpp"
#include "platform/host/input/push_payload.hpp"
#include "platform/host/input/timeline.hpp"

#include <chrono>

namespace host {
namespace {

using coding::JsonValue;

// Usage and availability are about the command line and the system, not about the text.
bool aboutTheText(InputFailure::Kind kind) {
  return kind != InputFailure::Kind::usage && kind != InputFailure::Kind::unavailable;
}

// Reads the inputs one after the other, keeping what a timeline carries from line to line.
class Reader {
 public:
  Reader(const ReadingContext& context, ActivityInput& out) : context_(context), out_(out) {}

  // False once the input has failed. `offset` is where the text starts in the whole input.
  bool read(std::string_view text, std::size_t line, std::size_t offset) {
    line_ = line;
    if (!document_) document_.emplace();
    if (auto error = document_->read(text)) {
      fail(InputFailure::decoding(*error));
    } else if (readFrom(*document_, line)) {
      if (out_.events.back().form == ActivityEvent::Form::push)
        warn(payloadSizeWarning(text.size()));
      return true;
    } else if (aboutTheText(out_.failure->kind)) {
      // A record's failure names a member of a text that reads: it is found again in the text.
      out_.failure->place = coding::placeOfMember(text, out_.failure->path);
    }
    if (auto& place = out_.failure->place) {
      place->start += offset;
      place->end += offset;
      if (line > 0) place->line += line - 1;
    }
    return false;
  }

  bool readFrom(const coding::JsonDocument& document, std::size_t line) {
    line_ = line;
    const JsonValue root = document.root();
    coding::Decoder decoder(document, root);
    InputResult<ActivityEvent> event = InputFailure{};
    if (root.type == JsonValue::Type::object) {
      const std::string_view markers[] = {"aps", "attributes-type"};
      JsonValue found[2];
      document.lookUp(root.node, markers, found);
      if (found[0].type != JsonValue::Type::missing) {
        event = readPush(decoder);
      } else if (found[1].type != JsonValue::Type::missing) {
        event = readDocument(decoder);
      } else {
        event = readBareRecord(decoder);
      }
    } else {
      event = readBareRecord(decoder);
    }
    if (!event) return fail(std::move(event).error());
    warnAboutMembers(document, root, *event);
    event->line = line_;
    // Only a timeline carries anything over to a next line.
    if (out_.timeline) timeline_.apply(*event);
    out_.events.push_back(std::move(event).value());
    return true;
  }

 private:
  bool fail(InputFailure failure) {
    failure.line = line_;
    out_.failure = std::move(failure);
    return false;
  }

  void warn(std::optional<Warning> warning) {
    if (!warning) return;
    warning->line = line_;
    out_.warnings.push_back(std::move(*warning));
  }

  // What the records' members, as the sender wrote them, leave the views with.
  void warnAboutMembers(const coding::JsonDocument& document, const JsonValue& root,
                        const ActivityEvent& event) {
    const widgets::ActivityType& type = *event.type;
    std::vector<Warning> found;
    const auto check = [&](const JsonValue& object, bool contentState, std::string_view path) {
      addMemberWarnings(document, object,
                        contentState ? type.contentStateMembers : type.attributesMembers,
                        contentState ? &type.contentStateUses : nullptr, path, found);
    };
    const auto records = [&](const JsonValue& object, std::string_view prefix, bool attributes) {
      if (object.type != JsonValue::Type::object) return;
      constexpr std::string_view names[] = {"attributes", "content-state"};
      JsonValue values[2];
      document.lookUp(object.node, names, values);
      if (attributes) check(values[0], false, std::string(prefix) + "attributes.");
      check(values[1], true, std::string(prefix) + "content-state.");
    };
    switch (event.form) {
      case ActivityEvent::Form::attributesRecord:
        check(root, false, "");
        break;
      case ActivityEvent::Form::contentStateRecord:
        check(root, true, "");
        break;
      case ActivityEvent::Form::document:
        records(root, "", true);
        break;
      case ActivityEvent::Form::push: {
        constexpr std::string_view name[] = {"aps"};
        JsonValue aps[1];
        document.lookUp(root.node, name, aps);
        records(aps[0], "aps.", event.event == PushEvent::start);
        break;
      }
    }
    for (Warning& warning : found) warn(std::move(warning));
  }

  InputResult<ActivityEvent> readBareRecord(coding::Decoder& decoder) {
    const ActivityRegistry& registry = context_.registry;
    if (context_.typeName.empty()) {
      return usage(
          "a bare record needs --type to say which it is; one of: " + registry.names(true) +
          (registry.types().empty() ? std::string("(none registered)") : std::string()));
    }
    const auto match = registry.find(context_.typeName);
    if (!match) {
      if (registry.types().empty()) return context_.notFound(context_.typeName);
      return usage("unknown type '" + std::string(context_.typeName) +
                   "'; one of: " + registry.names(true));
    }
    ActivityEvent event;
    event.type = match->type;
    const auto& type = *match->type;
    auto& record = match->contentState ? event.contentState : event.attributes;
    event.form = match->contentState ? ActivityEvent::Form::contentStateRecord
                                     : ActivityEvent::Form::attributesRecord;
    auto decoded = decodeErased(
        match->contentState ? type.decodeContentState : type.decodeAttributes, decoder);
    if (!decoded) return std::move(decoded).error();
    record = std::move(decoded).value();
    auto encoded = encodeErased(
        match->contentState ? type.encodeContentState : type.encodeAttributes, *record);
    if (!encoded) return std::move(encoded).error();
    event.encoded = std::move(encoded->json);
    return event;
  }

  InputResult<ActivityEvent> readDocument(coding::Decoder& decoder) {
    auto document = ActivityDocument::decode(decoder, context_);
    if (!document) return std::move(document).error();
    const widgets::ActivityType& type = *document->type;
    auto attributes = encodeErased(type.encodeAttributes, document->attributes);
    if (!attributes) return std::move(attributes).error();
    auto state = encodeErased(type.encodeContentState, document->contentState);
    if (!state) return std::move(state).error();
    warn(activityDataWarning(&*attributes, *state, ""));
    ActivityEvent event;
    event.form = ActivityEvent::Form::document;
    event.type = &type;
    event.encoded = encodeActivity(std::nullopt, type, &*attributes, &*state);
    event.encodedAttributes = std::move(attributes->json);
    event.encodedContentState = std::move(state->json);
    event.attributes = std::move(document->attributes);
    event.contentState = std::move(document->contentState);
    return event;
  }

  InputResult<ActivityEvent> readPush(coding::Decoder& decoder) {
    auto push = PushPayload::decode(decoder, context_, timeline_);
    if (!push) return std::move(push).error();
    const widgets::ActivityType& type = *push->type;
    std::optional<EncodedRecord> attributes;
    std::optional<EncodedRecord> state;
    if (push->attributes) {
      auto encoded = encodeErased(type.encodeAttributes, *push->attributes);
      if (!encoded) return std::move(encoded).error();
      attributes = std::move(encoded).value();
    }
    if (push->contentState) {
      auto encoded = encodeErased(type.encodeContentState, *push->contentState);
      if (!encoded) return std::move(encoded).error();
      state = std::move(encoded).value();
    }
    ActivityEvent event;
    event.form = ActivityEvent::Form::push;
    event.event = push->event;
    event.type = &type;
    event.encoded =
        encodeActivity(push->event, type, push->event == PushEvent::start ? &*attributes : nullptr,
                       state ? &*state : nullptr);

    if (push->event == PushEvent::start && !push->hasAlert) warn(startWithoutAlertWarning());
    if (push->event != PushEvent::start) {
      warn(olderTimestampWarning(push->timestamp, timeline_.newestTimestamp(&type)));
    }
    warn(staleDateWarning(push->timestamp, push->staleDate));
    for (Warning& warning :
         dateWarnings(push->timestamp, push->staleDate, push->dismissalDate, context_.now)) {
      warn(std::move(warning));
    }
    if (state) {
      warn(activityDataWarning(attributes ? &*attributes : nullptr, *state, "aps."));
      if (push->event == PushEvent::update && timeline_.showsAlready(&type, *push->contentState)) {
        event.rebuild = false;
        warn(unchangedStateWarning());
      }
    }
    if (push->event == PushEvent::start) event.encodedAttributes = std::move(attributes->json);
    if (state) event.encodedContentState = std::move(state->json);
    event.attributes = std::move(push->attributes);
    event.contentState = std::move(push->contentState);
    event.timestamp = push->timestamp;
    event.staleDate = push->staleDate;
    event.dismissalDate = push->dismissalDate;
    event.relevanceScore = push->relevanceScore;
    event.wantsUpdateToken = push->wantsUpdateToken;
    event.channel = std::move(push->channel);
    return event;
  }

  static InputFailure usage(std::string detail) {
    return {InputFailure::Kind::usage, 0, {}, std::move(detail)};
  }

  const ReadingContext& context_;
  ActivityInput& out_;
  // Made on the first text: a caller that read the document itself spares its buffers.
  std::optional<coding::JsonDocument> document_;
  std::size_t line_ = 0;
  Timeline timeline_;
};

bool isBlank(std::string_view line) {
  return line.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

std::vector<std::pair<std::size_t, std::string_view>> splitLines(std::string_view input) {
  std::vector<std::pair<std::size_t, std::string_view>> lines;
  std::size_t number = 1;
  while (!input.empty()) {
    const std::size_t end = input.find('\n');
    const std::string_view line = input.substr(0, end);
    if (!isBlank(line)) lines.emplace_back(number, line);
    if (end == std::string_view::npos) break;
    input.remove_prefix(end + 1);
    ++number;
  }
  return lines;
}

double clockOr(std::optional<double> now) {
  return now ? *now
             : std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
                   .count();
}

}  // namespace

ActivityInput readActivityInput(std::string_view input, const ActivityRegistry& registry,
                                std::string_view typeName, std::optional<double> now) {
  ActivityInput result;
  const ReadingContext context{registry, typeName, clockOr(now)};
  Reader reader(context, result);
  // A timeline is JSON Lines: its first line is a whole document and more lines follow. Anything
  // else is one document, however it is laid out.
  const auto lines = splitLines(input);
  if (lines.size() > 1) {
    coding::JsonDocument probe;
    result.timeline = !probe.read(lines.front().second).has_value();
  }
  if (!result.timeline) {
    reader.read(input, 0, 0);
    return result;
  }
  for (const auto& [number, line] : lines) {
    if (!reader.read(line, number, static_cast<std::size_t>(line.data() - input.data()))) break;
  }
  return result;
}

ActivityInput readActivityInput(const coding::JsonDocument& document,
                                const ActivityRegistry& registry, std::string_view typeName,
                                std::optional<double> now) {
  ActivityInput result;
  const ReadingContext context{registry, typeName, clockOr(now)};
  Reader(context, result).readFrom(document, 0);
  return result;
}

}  // namespace host
