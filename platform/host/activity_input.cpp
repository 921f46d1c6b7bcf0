#include "platform/host/activity_input.hpp"

#include "platform/coding/decoder.hpp"
#include "platform/coding/json_document.hpp"
#include "platform/coding/json_writer.hpp"

#include <array>
#include <cmath>

namespace host {
namespace {

using coding::DecodingError;
using coding::JsonValue;

enum class DocumentKeys : std::uint8_t { attributesType, attributes, contentState };
constexpr std::array<std::string_view, 3> documentKeyNames{"attributes-type", "attributes",
                                                           "content-state"};
[[maybe_unused]] constexpr std::span<const std::string_view> codingKeyStrings(DocumentKeys) {
  return documentKeyNames;
}

enum class PayloadKeys : std::uint8_t { aps };
constexpr std::array<std::string_view, 1> payloadKeyNames{"aps"};
[[maybe_unused]] constexpr std::span<const std::string_view> codingKeyStrings(PayloadKeys) {
  return payloadKeyNames;
}

enum class ApsKeys : std::uint8_t {
  event,
  timestamp,
  attributesType,
  attributes,
  contentState,
  alert,
  staleDate,
  dismissalDate,
  relevanceScore,
};
constexpr std::array<std::string_view, 9> apsKeyNames{
    "event", "timestamp",  "attributes-type", "attributes",     "content-state",
    "alert", "stale-date", "dismissal-date",  "relevance-score"};
[[maybe_unused]] constexpr std::span<const std::string_view> codingKeyStrings(ApsKeys) {
  return apsKeyNames;
}

std::string jsonString(std::string_view text) {
  std::string out;
  coding::JsonWriter(out).string(text);
  return out;
}

std::string joinPath(const coding::CodingPath& path) {
  std::string text;
  for (const auto& part : path) {
    if (!text.empty()) text += '.';
    text += part;
  }
  return text;
}

// The encoded size of each member of a compact JSON object, as the encoder wrote it.
void addMemberCosts(std::string_view encoded, std::string_view prefix,
                    std::vector<std::pair<std::string, std::size_t>>& costs) {
  coding::JsonDocument document;
  if (document.read(encoded)) return;
  const JsonValue root = document.root();
  if (root.type != JsonValue::Type::object) return;
  document.forEachMember(root.node, [&](std::string_view name, const JsonValue& value) {
    std::string text;
    coding::JsonWriter writer(text);
    writer.string(name);
    writer.colon();
    if (value.type == JsonValue::Type::string) {
      writer.string(value.text);
    } else if (value.type == JsonValue::Type::number) {
      writer.number(value.number);
    } else {
      writer.null();
    }
    costs.emplace_back(std::string(prefix) + std::string(name), text.size() + 1);
  });
}

// Reads the inputs one after the other, keeping what a timeline carries from line to line.
class Reader {
 public:
  Reader(const ActivityRegistry& registry, std::string_view typeName, ActivityInput& out)
      : registry_(registry), typeName_(typeName), out_(out) {}

  // False once the input has failed.
  bool read(std::string_view text, std::size_t line) {
    line_ = line;
    if (auto error = document_.read(text)) return failDecoding(*error);
    const JsonValue root = document_.root();
    coding::Decoder decoder(document_, root);
    if (root.type == JsonValue::Type::object) {
      const std::string_view markers[] = {"aps", "attributes-type"};
      JsonValue found[2];
      document_.lookUp(root.node, markers, found);
      if (found[0].type != JsonValue::Type::missing) return readPush(decoder);
      if (found[1].type != JsonValue::Type::missing) return readDocument(decoder);
    }
    return readBareRecord(decoder);
  }

 private:
  bool fail(InputFailure failure) {
    failure.line = line_;
    out_.failure = std::move(failure);
    return false;
  }
  bool failDecoding(const DecodingError& error) {
    return fail({InputFailure::Category::rejected, 0, std::string(coding::kindName(error.kind)),
                 error.codingPath, error.detail});
  }
  bool failUsage(std::string detail) {
    return fail({InputFailure::Category::usage, 0, "usage", {}, std::move(detail)});
  }
  bool failUnavailable(std::string name, coding::CodingPath path = {}) {
    if (registry_.types().empty()) {
      return fail({InputFailure::Category::rejected, 0, "unavailable", std::move(path),
                   registry_.whyNotFound(name)});
    }
    return fail({InputFailure::Category::rejected, 0, "dataCorrupted", std::move(path),
                 registry_.whyNotFound(name)});
  }
  void warn(std::string member, std::string message) {
    out_.warnings.push_back({line_, std::move(member), std::move(message)});
  }

  // The activity --type names, whichever of its two records it names.
  const widgets::ActivityType* typeOption() const {
    const auto match = registry_.find(typeName_);
    return match ? match->type : nullptr;
  }

  template <class Decode>
  bool decodeRecord(Decode decode, coding::Decoder& decoder, std::optional<std::any>& out) {
    auto result = decode(decoder);
    if (!result) return failDecoding(result.error());
    out = std::move(result).value();
    return true;
  }

  bool encodeRecord(
      const std::function<coding::Result<std::string, coding::EncodingError>(const std::any&)>&
          encode,
      const std::any& record, std::string& out) {
    auto encoded = encode(record);
    if (!encoded) {
      return fail({InputFailure::Category::rejected, 0, "invalidValue", encoded.error().codingPath,
                   encoded.error().detail});
    }
    out = std::move(encoded).value();
    return true;
  }

  bool readBareRecord(coding::Decoder& decoder) {
    if (typeName_.empty()) {
      return failUsage(
          "a bare record needs --type to say which it is; one of: " + registry_.names(true) +
          (registry_.types().empty() ? std::string("(none registered)") : std::string()));
    }
    const auto match = registry_.find(typeName_);
    if (!match) {
      if (registry_.types().empty()) return failUnavailable(std::string(typeName_));
      return failUsage("unknown type '" + std::string(typeName_) +
                       "'; one of: " + registry_.names(true));
    }
    ActivityEvent event;
    event.line = line_;
    event.type = match->type;
    if (match->contentState) {
      event.form = ActivityEvent::Form::contentStateRecord;
      if (!decodeRecord(match->type->decodeContentState, decoder, event.contentState) ||
          !encodeRecord(match->type->encodeContentState, *event.contentState, event.encoded)) {
        return false;
      }
    } else {
      event.form = ActivityEvent::Form::attributesRecord;
      if (!decodeRecord(match->type->decodeAttributes, decoder, event.attributes) ||
          !encodeRecord(match->type->encodeAttributes, *event.attributes, event.encoded)) {
        return false;
      }
    }
    out_.events.push_back(std::move(event));
    return true;
  }

  // The activity a document or a start names, checked against the registry and --type.
  template <class Container, class Key>
  const widgets::ActivityType* namedActivity(Container& container, Key key) {
    foundation::String name;
    if (!container.decode(key, name)) {
      failDecoding(*container.error());
      return nullptr;
    }
    coding::CodingPath path = container.nestedDecoder(key).codingPath();
    const widgets::ActivityType* type = registry_.activity(name.view());
    if (type == nullptr) {
      failUnavailable(name.str(), std::move(path));
      return nullptr;
    }
    if (const auto* option = typeOption(); !typeName_.empty() && option != type) {
      fail({InputFailure::Category::rejected, 0, "dataCorrupted", std::move(path),
            "the input is a " + name.str() + " activity, but --type says " +
                std::string(typeName_)});
      return nullptr;
    }
    return type;
  }

  bool readDocument(coding::Decoder& decoder) {
    auto container = decoder.container<DocumentKeys>();
    ActivityEvent event;
    event.form = ActivityEvent::Form::document;
    event.line = line_;
    event.type = namedActivity(container, DocumentKeys::attributesType);
    if (event.type == nullptr) return false;
    std::optional<coding::Decoder> attributes;
    std::optional<coding::Decoder> state;
    if (!container.decodeNested(DocumentKeys::attributes, attributes) ||
        !decodeRecord(event.type->decodeAttributes, *attributes, event.attributes) ||
        !container.decodeNested(DocumentKeys::contentState, state) ||
        !decodeRecord(event.type->decodeContentState, *state, event.contentState)) {
      return container.error() ? failDecoding(*container.error()) : false;
    }
    std::string encodedAttributes;
    std::string encodedState;
    if (!encodeRecord(event.type->encodeAttributes, *event.attributes, encodedAttributes) ||
        !encodeRecord(event.type->encodeContentState, *event.contentState, encodedState)) {
      return false;
    }
    checkSize(encodedAttributes, encodedState, "");
    event.encoded = "{\"attributes-type\":" + jsonString(event.type->name) +
                    ",\"attributes\":" + encodedAttributes + ",\"content-state\":" + encodedState +
                    "}";
    // In a timeline a document stands for its activity as it is now, as a start would.
    current_ = event.type;
    currentAttributes_ = event.attributes;
    previousState_ = event.contentState;
    out_.events.push_back(std::move(event));
    return true;
  }

  bool readPush(coding::Decoder& decoder) {
    auto payload = decoder.container<PayloadKeys>();
    std::optional<coding::Decoder> aps;
    if (!payload.decodeNested(PayloadKeys::aps, aps)) return failDecoding(*payload.error());
    auto container = aps->container<ApsKeys>();

    ActivityEvent event;
    event.form = ActivityEvent::Form::push;
    event.line = line_;
    foundation::String name;
    std::optional<double> timestamp;
    std::optional<double> staleDate;
    std::optional<double> dismissalDate;
    std::optional<double> relevanceScore;
    if (!container.decode(ApsKeys::event, name) ||
        !container.decodeIfPresent(ApsKeys::timestamp, timestamp)) {
      return failDecoding(*container.error());
    }
    event.event = name.str();
    if (event.event != "start" && event.event != "update" && event.event != "end") {
      container.fail(ApsKeys::event, DecodingError::Kind::dataCorrupted,
                     "expected start, update or end, found " + jsonString(event.event));
      return failDecoding(*container.error());
    }

    std::optional<coding::Decoder> attributes;
    std::optional<coding::Decoder> state;
    if (event.event == "start") {
      event.type = namedActivity(container, ApsKeys::attributesType);
      if (event.type == nullptr) return false;
      if (!container.decodeNested(ApsKeys::attributes, attributes) ||
          !decodeRecord(event.type->decodeAttributes, *attributes, event.attributes) ||
          !container.decodeNested(ApsKeys::contentState, state)) {
        return container.error() ? failDecoding(*container.error()) : false;
      }
    } else {
      // An update or end belongs to the activity --type names, or to the one started earlier.
      event.type = current_ != nullptr ? current_ : typeOption();
      if (event.type == nullptr) {
        if (!typeName_.empty()) return failUnavailable(std::string(typeName_));
        container.fail(ApsKeys::event, DecodingError::Kind::dataCorrupted,
                       "an " + event.event +
                           " needs its activity: give --type or start the activity earlier "
                           "in the timeline");
        return failDecoding(*container.error());
      }
      if (current_ == event.type) event.attributes = currentAttributes_;
      const bool ok = event.event == "update"
                          ? container.decodeNested(ApsKeys::contentState, state)
                          : container.decodeNestedIfPresent(ApsKeys::contentState, state);
      if (!ok) return failDecoding(*container.error());
    }
    if (state && !decodeRecord(event.type->decodeContentState, *state, event.contentState)) {
      return false;
    }
    if (!container.decodeIfPresent(ApsKeys::staleDate, staleDate) ||
        !container.decodeIfPresent(ApsKeys::dismissalDate, dismissalDate) ||
        !container.decodeIfPresent(ApsKeys::relevanceScore, relevanceScore)) {
      return failDecoding(*container.error());
    }
    const JsonValue::Type alert = container.type(ApsKeys::alert);
    if (alert != JsonValue::Type::missing && alert != JsonValue::Type::string &&
        alert != JsonValue::Type::object) {
      container.fail(
          ApsKeys::alert, DecodingError::Kind::typeMismatch,
          "expected a string or an object, found " + std::string(coding::describeType(alert)));
      return failDecoding(*container.error());
    }

    std::string encodedAttributes;
    std::string encodedState;
    if ((event.attributes &&
         !encodeRecord(event.type->encodeAttributes, *event.attributes, encodedAttributes)) ||
        (event.contentState &&
         !encodeRecord(event.type->encodeContentState, *event.contentState, encodedState))) {
      return false;
    }
    event.encoded = "{\"event\":" + jsonString(event.event) +
                    ",\"attributes-type\":" + jsonString(event.type->name);
    if (event.event == "start") event.encoded += ",\"attributes\":" + encodedAttributes;
    if (event.contentState) event.encoded += ",\"content-state\":" + encodedState;
    event.encoded += "}";

    // What a careful sender should hear about.
    if (event.event == "start" && alert == JsonValue::Type::missing) {
      warn("aps.alert",
           "a start without an alert: the platform needs one to start an activity "
           "by push");
    }
    if (timestamp && staleDate && !(*staleDate > *timestamp)) {
      warn("aps.stale-date",
           "the stale date is not after the timestamp, so the activity is "
           "stale as soon as it arrives");
    }
    if (event.contentState) {
      checkSize(event.attributes ? encodedAttributes : std::string(), encodedState, "aps.");
      if (event.event == "update" && current_ == event.type && previousState_ &&
          event.type->contentStatesEqual(*previousState_, *event.contentState)) {
        event.rebuild = false;
        warn("aps.content-state",
             "the content state equals the previous one; the platform "
             "treats it as no change and nothing is rebuilt");
      }
    }

    // What the rest of the timeline carries on from.
    if (event.event == "end") {
      current_ = nullptr;
      currentAttributes_.reset();
      previousState_.reset();
    } else {
      if (event.event == "start") currentAttributes_ = event.attributes;
      current_ = event.type;
      previousState_ = event.contentState;
    }
    out_.events.push_back(std::move(event));
    return true;
  }

  void checkSize(const std::string& attributes, const std::string& state, std::string_view prefix) {
    const std::size_t total = attributes.size() + state.size();
    if (total <= activityDataLimit) return;
    std::vector<std::pair<std::string, std::size_t>> costs;
    addMemberCosts(attributes, std::string(prefix) + "attributes.", costs);
    addMemberCosts(state, std::string(prefix) + "content-state.", costs);
    std::pair<std::string, std::size_t> largest{"", 0};
    for (const auto& cost : costs) {
      if (cost.second > largest.second) largest = cost;
    }
    warn(largest.first, "the attributes and content state take " + std::to_string(total) +
                            " bytes encoded, more than the " + std::to_string(activityDataLimit) +
                            " the platform accepts for an activity; this member takes " +
                            std::to_string(largest.second));
  }

  const ActivityRegistry& registry_;
  std::string_view typeName_;
  ActivityInput& out_;
  coding::JsonDocument document_;
  std::size_t line_ = 0;
  const widgets::ActivityType* current_ = nullptr;
  std::optional<std::any> currentAttributes_;
  std::optional<std::any> previousState_;
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

}  // namespace

std::string Warning::description() const {
  std::string text;
  if (line > 0) text += "line " + std::to_string(line) + ": ";
  if (!member.empty()) text += "\"" + member + "\": ";
  return text + message;
}

std::string InputFailure::description() const {
  std::string text;
  if (line > 0) text += "line " + std::to_string(line) + ": ";
  text += kind + ": ";
  if (!path.empty()) text += "\"" + joinPath(path) + "\": ";
  return text + detail;
}

ActivityInput readActivityInput(std::string_view input, const ActivityRegistry& registry,
                                std::string_view typeName) {
  ActivityInput result;
  Reader reader(registry, typeName, result);
  // A timeline is JSON Lines: its first line is a whole document and more lines follow. Anything
  // else is one document, however it is laid out.
  const auto lines = splitLines(input);
  if (lines.size() > 1) {
    coding::JsonDocument probe;
    result.timeline = !probe.read(lines.front().second).has_value();
  }
  if (!result.timeline) {
    reader.read(input, 0);
    return result;
  }
  for (const auto& [number, line] : lines) {
    if (!reader.read(line, number)) break;
  }
  return result;
}

}  // namespace host
