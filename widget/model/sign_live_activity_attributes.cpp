#include "widget/model/sign_live_activity_attributes.hpp"

namespace tolvex {

void SignLiveActivityAttributes::encode(coding::Encoder& encoder) const {
  auto container = encoder.container<CodingKeys>();
  container.encode(CodingKeys::taskId, taskId);
}

DecodeResult<SignLiveActivityAttributes> SignLiveActivityAttributes::decode(
    coding::Decoder& decoder) {
  auto container = decoder.container<CodingKeys>();
  SignLiveActivityAttributes attributes;
  container.decode(CodingKeys::taskId, attributes.taskId);
  return std::move(container).finish(std::move(attributes));
}

void SignLiveActivityAttributes::ContentState::encode(coding::Encoder& encoder) const {
  auto container = encoder.container<CodingKeys>();
  container.encode(CodingKeys::progress, progress) &&
      container.encode(CodingKeys::statusText, statusText) &&
      container.encodeIfPresent(CodingKeys::statusCode, statusCode) &&
      container.encode(CodingKeys::appName, appName) &&
      container.encode(CodingKeys::detailText, detailText) &&
      container.encodeIfPresent(CodingKeys::appIconBase64, appIconBase64);
}

DecodeResult<SignLiveActivityAttributes::ContentState>
SignLiveActivityAttributes::ContentState::decode(coding::Decoder& decoder) {
  auto container = decoder.container<CodingKeys>();
  ContentState state;
  container.decode(CodingKeys::progress, state.progress) &&
      container.decode(CodingKeys::statusText, state.statusText) &&
      container.decodeIfPresent(CodingKeys::statusCode, state.statusCode) &&
      container.decode(CodingKeys::appName, state.appName) &&
      container.decode(CodingKeys::detailText, state.detailText) &&
      container.decodeIfPresent(CodingKeys::appIconBase64, state.appIconBase64);
  return std::move(container).finish(std::move(state));
}

}  // namespace tolvex
