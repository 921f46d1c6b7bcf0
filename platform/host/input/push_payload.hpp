#pragma once

#include "platform/host/input/record_reading.hpp"
#include "platform/host/input/timeline.hpp"

#include <any>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace host {

// A Live Activity push payload's `aps` object, its records decoded by the activity's type: the
// one a start names, else the one up in the timeline, else the one --type names.
struct PushPayload {
  PushEvent event = PushEvent::update;
  std::optional<double> timestamp;
  std::optional<double> staleDate;
  std::optional<double> dismissalDate;
  std::optional<double> relevanceScore;
  // What the app asked of a push-to-start: an update token (`input-push-token: 1`), or to follow
  // a channel. The extension reads neither; the phone does, so they are read leniently.
  bool wantsUpdateToken = false;
  std::string channel;
  bool hasAlert = false;
  const widgets::ActivityType* type = nullptr;
  std::optional<std::any> attributes;  // a start's, or the timeline's for its activity
  std::optional<std::any> contentState;

  enum class CodingKeys : std::uint8_t {
    event,
    timestamp,
    attributesType,
    attributes,
    contentState,
    alert,
    staleDate,
    dismissalDate,
    relevanceScore,
    inputPushToken,
    inputPushChannel,
  };
  friend constexpr std::span<const std::string_view> codingKeyStrings(CodingKeys) {
    return codingKeyNames;
  }

  // `payload` is the whole payload, `{"aps": {...}}`.
  static InputResult<PushPayload> decode(const coding::Decoder& payload,
                                         const ReadingContext& context, const Timeline& timeline);

 private:
  static constexpr std::array<std::string_view, 11> codingKeyNames{"event",
                                                                   "timestamp",
                                                                   "attributes-type",
                                                                   "attributes",
                                                                   "content-state",
                                                                   "alert",
                                                                   "stale-date",
                                                                   "dismissal-date",
                                                                   "relevance-score",
                                                                   "input-push-token",
                                                                   "input-push-channel"};
};

}  // namespace host
