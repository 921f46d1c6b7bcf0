#include "platform/host/input/activity_document.hpp"

namespace host {

InputResult<ActivityDocument> ActivityDocument::decode(coding::Decoder& decoder,
                                                       const ReadingContext& context) {
  auto container = decoder.container<CodingKeys>();
  auto type = namedActivity(container, CodingKeys::attributesType, context);
  if (!type) return std::move(type).error();
  ActivityDocument document;
  document.type = *type;
  std::optional<coding::Decoder> nested;
  if (!container.decodeNested(CodingKeys::attributes, nested)) {
    return InputFailure::decoding(*container.error());
  }
  auto attributes = decodeErased(document.type->decodeAttributes, *nested);
  if (!attributes) return std::move(attributes).error();
  document.attributes = std::move(attributes).value();
  if (!container.decodeNested(CodingKeys::contentState, nested)) {
    return InputFailure::decoding(*container.error());
  }
  auto state = decodeErased(document.type->decodeContentState, *nested);
  if (!state) return std::move(state).error();
  document.contentState = std::move(state).value();
  return document;
}

}  // namespace host
