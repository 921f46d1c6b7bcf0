#include "platform/host/input/push_payload.hpp"

#include "platform/coding/json_writer.hpp"

namespace host {
namespace {

using coding::DecodingError;
using coding::JsonValue;

enum class PayloadKeys : std::uint8_t { aps };
constexpr std::array<std::string_view, 1> payloadKeyNames{"aps"};
[[maybe_unused]] constexpr std::span<const std::string_view> codingKeyStrings(PayloadKeys) {
  return payloadKeyNames;
}

std::string quoted(std::string_view text) {
  std::string out;
  coding::JsonWriter(out).string(text);
  return out;
}

}  // namespace

InputResult<PushPayload> PushPayload::decode(const coding::Decoder& payload,
                                             const ReadingContext& context,
                                             const Timeline& timeline) {
  auto outer = payload.container<PayloadKeys>();
  std::optional<coding::Decoder> aps;
  if (!outer.decodeNested(PayloadKeys::aps, aps)) return InputFailure::decoding(*outer.error());
  auto container = aps->container<CodingKeys>();
  const auto failed = [&] { return InputFailure::decoding(*container.error()); };

  PushPayload push;
  foundation::String name;
  if (!container.decode(CodingKeys::event, name) ||
      !container.decodeIfPresent(CodingKeys::timestamp, push.timestamp)) {
    return failed();
  }
  const auto event = pushEventNamed(name.view());
  if (!event) {
    container.fail(CodingKeys::event, DecodingError::Kind::dataCorrupted,
                   "expected start, update or end, found " + quoted(name.view()));
    return failed();
  }
  push.event = *event;

  std::optional<coding::Decoder> nested;
  if (push.event == PushEvent::start) {
    auto type = namedActivity(container, CodingKeys::attributesType, context);
    if (!type) return std::move(type).error();
    push.type = *type;
    if (!container.decodeNested(CodingKeys::attributes, nested)) return failed();
    auto attributes = decodeErased(push.type->decodeAttributes, *nested);
    if (!attributes) return std::move(attributes).error();
    push.attributes = std::move(attributes).value();
    if (!container.decodeNested(CodingKeys::contentState, nested)) return failed();
  } else {
    // An update or end belongs to the activity up in the timeline, or to the one --type names.
    push.type = timeline.activity() != nullptr ? timeline.activity() : context.typeOption();
    if (push.type == nullptr) {
      if (!context.typeName.empty()) return context.notFound(context.typeName);
      container.fail(CodingKeys::event, DecodingError::Kind::dataCorrupted,
                     "an " + std::string(eventName(push.event)) +
                         " needs its activity: give --type or start the activity earlier in "
                         "the timeline");
      return failed();
    }
    push.attributes = timeline.attributesOf(push.type);
    const bool ok = push.event == PushEvent::update
                        ? container.decodeNested(CodingKeys::contentState, nested)
                        : container.decodeNestedIfPresent(CodingKeys::contentState, nested);
    if (!ok) return failed();
  }
  if (nested) {
    auto state = decodeErased(push.type->decodeContentState, *nested);
    if (!state) return std::move(state).error();
    push.contentState = std::move(state).value();
  }
  if (!container.decodeIfPresent(CodingKeys::staleDate, push.staleDate) ||
      !container.decodeIfPresent(CodingKeys::dismissalDate, push.dismissalDate) ||
      !container.decodeIfPresent(CodingKeys::relevanceScore, push.relevanceScore)) {
    return failed();
  }
  const JsonValue& token = container.valueOf(CodingKeys::inputPushToken);
  push.wantsUpdateToken = token.type == JsonValue::Type::number && token.number == 1;
  const JsonValue& channel = container.valueOf(CodingKeys::inputPushChannel);
  if (channel.type == JsonValue::Type::string) push.channel = std::string(channel.text);
  const JsonValue::Type alert = container.type(CodingKeys::alert);
  if (alert != JsonValue::Type::missing && alert != JsonValue::Type::string &&
      alert != JsonValue::Type::object) {
    container.fail(
        CodingKeys::alert, DecodingError::Kind::typeMismatch,
        "expected a string or an object, found " + std::string(coding::describeType(alert)));
    return failed();
  }
  push.hasAlert = alert != JsonValue::Type::missing;
  return push;
}

}  // namespace host
