#include "tolvex/model/sign_live_activity_attributes.hpp"

namespace tolvex {

void SignLiveActivityAttributes::encode(coding::Encoder& encoder) const {
  auto container = encoder.container<CodingKeys>();
  container.encode(CodingKeys::taskId, taskId);
}

DecodeResult<SignLiveActivityAttributes> SignLiveActivityAttributes::decode(
    coding::Decoder& decoder) {
  auto container = decoder.container<CodingKeys>();
  DecodeResult<SignLiveActivityAttributes> result{SignLiveActivityAttributes{}};
  container.decode(CodingKeys::taskId, result->taskId);
  std::move(container).finish(result);
  return result;
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
  // Filled in place: the state is large enough that moving it shows in the decode time.
  DecodeResult<ContentState> result{ContentState{}};
  ContentState& state = *result;
  container.decode(CodingKeys::progress, state.progress) &&
      container.decode(CodingKeys::statusText, state.statusText) &&
      container.decodeIfPresent(CodingKeys::statusCode, state.statusCode) &&
      container.decode(CodingKeys::appName, state.appName) &&
      container.decode(CodingKeys::detailText, state.detailText) &&
      container.decodeIfPresent(CodingKeys::appIconBase64, state.appIconBase64);
  std::move(container).finish(result);
  return result;
}

}  // namespace tolvex
