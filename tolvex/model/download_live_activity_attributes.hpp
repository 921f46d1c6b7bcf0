#pragma once

#include "tolvex/model/record_coding.hpp"

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

namespace tolvex {

// The static part of a download activity, fixed when the companion app starts it.
struct DownloadLiveActivityAttributes {
  String taskId;

  // The name hosts and push payloads know the activity by.
  static constexpr std::string_view activityTypeName = "DownloadLiveActivityAttributes";

  enum class CodingKeys : std::uint8_t { taskId };
  friend constexpr std::span<const std::string_view> codingKeyStrings(CodingKeys) {
    return codingKeyNames;
  }

  void encode(coding::Encoder& encoder) const;
  static DecodeResult<DownloadLiveActivityAttributes> decode(coding::Decoder& decoder);

  // What the companion app replaces on every update of a file transfer.
  struct ContentState {
    double progress = 0;
    String statusText;
    String fileName;
    String transferredText;
    String totalText;
    String etaText;
    std::optional<String> appIconBase64;

    enum class CodingKeys : std::uint8_t {
      progress,
      statusText,
      fileName,
      transferredText,
      totalText,
      etaText,
      appIconBase64,
    };
    friend constexpr std::span<const std::string_view> codingKeyStrings(CodingKeys) {
      return codingKeyNames;
    }

    // Field by field in declaration order: IEEE equality for progress (NaN equals nothing),
    // canonical equivalence for strings, absent unequal to empty.
    friend bool operator==(const ContentState&, const ContentState&) = default;

    template <class H>
    void hashInto(H& hasher) const {
      foundation::hashInto(hasher, progress);
      foundation::hashInto(hasher, statusText);
      foundation::hashInto(hasher, fileName);
      foundation::hashInto(hasher, transferredText);
      foundation::hashInto(hasher, totalText);
      foundation::hashInto(hasher, etaText);
      foundation::hashInto(hasher, appIconBase64);
    }

    void encode(coding::Encoder& encoder) const;
    static DecodeResult<ContentState> decode(coding::Decoder& decoder);

   private:
    static constexpr std::array<std::string_view, 7> codingKeyNames{
        "progress",  "statusText", "fileName",     "transferredText",
        "totalText", "etaText",    "appIconBase64"};
  };

 private:
  static constexpr std::array<std::string_view, 1> codingKeyNames{"taskId"};
};

}  // namespace tolvex

template <>
struct std::hash<tolvex::DownloadLiveActivityAttributes::ContentState> {
  std::size_t operator()(const tolvex::DownloadLiveActivityAttributes::ContentState& state) const {
    return foundation::hashValue(state);
  }
};
