#include "widget/model/download_live_activity_attributes.hpp"

namespace tolvex {

void DownloadLiveActivityAttributes::encode(coding::Encoder& encoder) const {
  auto container = encoder.container<CodingKeys>();
  container.encode(CodingKeys::taskId, taskId);
}

DecodeResult<DownloadLiveActivityAttributes> DownloadLiveActivityAttributes::decode(
    coding::Decoder& decoder) {
  auto container = decoder.container<CodingKeys>();
  DownloadLiveActivityAttributes attributes;
  container.decode(CodingKeys::taskId, attributes.taskId);
  return std::move(container).finish(std::move(attributes));
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
  ContentState state;
  container.decode(CodingKeys::progress, state.progress) &&
      container.decode(CodingKeys::statusText, state.statusText) &&
      container.decode(CodingKeys::fileName, state.fileName) &&
      container.decode(CodingKeys::transferredText, state.transferredText) &&
      container.decode(CodingKeys::totalText, state.totalText) &&
      container.decode(CodingKeys::etaText, state.etaText) &&
      container.decodeIfPresent(CodingKeys::appIconBase64, state.appIconBase64);
  return std::move(container).finish(std::move(state));
}

}  // namespace tolvex
