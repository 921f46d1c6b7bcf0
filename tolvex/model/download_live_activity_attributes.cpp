#include "tolvex/model/download_live_activity_attributes.hpp"

namespace tolvex {

void DownloadLiveActivityAttributes::encode(coding::Encoder& encoder) const {
  auto container = encoder.container<CodingKeys>();
  container.encode(CodingKeys::taskId, taskId);
}

DecodeResult<DownloadLiveActivityAttributes> DownloadLiveActivityAttributes::decode(
    coding::Decoder& decoder) {
  auto container = decoder.container<CodingKeys>();
  DecodeResult<DownloadLiveActivityAttributes> result{DownloadLiveActivityAttributes{}};
  container.decode(CodingKeys::taskId, result->taskId);
  std::move(container).finish(result);
  return result;
}

void DownloadLiveActivityAttributes::ContentState::encode(coding::Encoder& encoder) const {
  auto container = encoder.container<CodingKeys>();
  container.encode(CodingKeys::progress, progress) &&
      container.encode(CodingKeys::statusText, statusText) &&
      container.encode(CodingKeys::fileName, fileName) &&
      container.encode(CodingKeys::transferredText, transferredText) &&
      container.encode(CodingKeys::totalText, totalText) &&
      container.encode(CodingKeys::etaText, etaText) &&
      container.encodeIfPresent(CodingKeys::appIconBase64, appIconBase64);
}

DecodeResult<DownloadLiveActivityAttributes::ContentState>
DownloadLiveActivityAttributes::ContentState::decode(coding::Decoder& decoder) {
  auto container = decoder.container<CodingKeys>();
  // Filled in place: the state is large enough that moving it shows in the decode time.
  DecodeResult<ContentState> result{ContentState{}};
  ContentState& state = *result;
  container.decode(CodingKeys::progress, state.progress) &&
      container.decode(CodingKeys::statusText, state.statusText) &&
      container.decode(CodingKeys::fileName, state.fileName) &&
      container.decode(CodingKeys::transferredText, state.transferredText) &&
      container.decode(CodingKeys::totalText, state.totalText) &&
      container.decode(CodingKeys::etaText, state.etaText) &&
      container.decodeIfPresent(CodingKeys::appIconBase64, state.appIconBase64);
  std::move(container).finish(result);
  return result;
}

}  // namespace tolvex
