#pragma once

#include "platform/coding/decoder.hpp"
#include "platform/coding/result.hpp"
#include "platform/host/input/activity_event.hpp"
#include "platform/host/input/activity_registry.hpp"
#include "platform/host/input/encoded_record.hpp"
#include "platform/host/input/input_failure.hpp"

#include <optional>
#include <string_view>

namespace host {

template <class T>
using InputResult = coding::Result<T, InputFailure>;

// What reading is told from outside the input: the registered types, the type --type names
// (empty when none) and the clock.
struct ReadingContext {
  const ActivityRegistry& registry;
  std::string_view typeName;
  double now;  // seconds since 1970, for dates that lie far ahead

  // The activity --type names, whichever of its two records it names.
  const widgets::ActivityType* typeOption() const {
    const auto match = registry.find(typeName);
    return match ? match->type : nullptr;
  }
  // An activity name that finds nothing: unavailable when nothing is registered at all.
  InputFailure notFound(std::string_view name, coding::CodingPath path = {}) const;
};

InputResult<std::any> decodeErased(
    const std::function<coding::Result<std::any, coding::DecodingError>(coding::Decoder&)>& decode,
    coding::Decoder& decoder);
InputResult<EncodedRecord> encodeErased(const ErasedEncode& encode, const std::any& record);

// The activity a document or a start names in `key`, checked against the registry and --type.
template <class Container>
InputResult<const widgets::ActivityType*> namedActivity(Container& container,
                                                        typename Container::Key key,
                                                        const ReadingContext& context) {
  foundation::String name;
  if (!container.decode(key, name)) return InputFailure::decoding(*container.error());
  coding::CodingPath path = container.nestedDecoder(key).codingPath();
  const widgets::ActivityType* type = context.registry.activity(name.view());
  if (type == nullptr) return context.notFound(name.view(), std::move(path));
  if (!context.typeName.empty() && context.typeOption() != type) {
    return InputFailure{InputFailure::Kind::dataCorrupted, 0, std::move(path),
                        "the input is a " + name.str() + " activity, but --type says " +
                            std::string(context.typeName)};
  }
  return type;
}

// `{"event": ..., "attributes-type": ..., "attributes": ..., "content-state": ...}`: an activity
// as the host prints it back, each member present when there is something to say.
std::string encodeActivity(std::optional<PushEvent> event, const widgets::ActivityType& type,
                           const EncodedRecord* attributes, const EncodedRecord* contentState);

}  // namespace host
