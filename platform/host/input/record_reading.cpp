#include "platform/host/input/record_reading.hpp"

#include <array>

namespace host {
namespace {

enum class ActivityKeys : std::uint8_t { event, attributesType, attributes, contentState };
constexpr std::array<std::string_view, 4> activityKeyNames{"event", "attributes-type", "attributes",
                                                           "content-state"};
[[maybe_unused]] constexpr std::span<const std::string_view> codingKeyStrings(ActivityKeys) {
  return activityKeyNames;
}

}  // namespace

InputFailure ReadingContext::notFound(std::string_view name, coding::CodingPath path) const {
  const auto kind = registry.types().empty() ? InputFailure::Kind::unavailable
                                             : InputFailure::Kind::dataCorrupted;
  return {kind, 0, std::move(path), registry.whyNotFound(name)};
}

InputResult<std::any> decodeErased(
    const std::function<coding::Result<std::any, coding::DecodingError>(coding::Decoder&)>& decode,
    coding::Decoder& decoder) {
  auto result = decode(decoder);
  if (!result) return InputFailure::decoding(result.error());
  return std::move(result).value();
}

InputResult<EncodedRecord> encodeErased(const ErasedEncode& encode, const std::any& record) {
  auto result = encodeRecord(encode, record);
  if (!result) {
    return InputFailure{InputFailure::Kind::invalidValue, 0, result.error().codingPath,
                        result.error().detail};
  }
  return std::move(result).value();
}

std::string encodeActivity(std::optional<PushEvent> event, const widgets::ActivityType& type,
                           const EncodedRecord* attributes, const EncodedRecord* contentState) {
  std::string out;
  out.reserve(type.name.size() + (attributes ? attributes->json.size() : 0) +
              (contentState ? contentState->json.size() : 0) + 80);
  coding::Encoder encoder(out);
  {
    auto container = encoder.container<ActivityKeys>();
    if (event) container.encode(ActivityKeys::event, foundation::String(eventName(*event)));
    container.encode(ActivityKeys::attributesType, foundation::String(type.name));
    if (attributes) container.encodeEncoded(ActivityKeys::attributes, attributes->json);
    if (contentState) container.encodeEncoded(ActivityKeys::contentState, contentState->json);
  }
  return out;
}

}  // namespace host
