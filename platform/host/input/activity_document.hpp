#pragma once

#include "platform/host/input/record_reading.hpp"

#include <any>
#include <array>
#include <cstdint>
#include <span>

namespace host {

// `{"attributes-type": ..., "attributes": {...}, "content-state": {...}}`: an activity as the app
// starts it, its records decoded by the type it names.
struct ActivityDocument {
  const widgets::ActivityType* type = nullptr;
  std::any attributes;
  std::any contentState;

  enum class CodingKeys : std::uint8_t { attributesType, attributes, contentState };
  friend constexpr std::span<const std::string_view> codingKeyStrings(CodingKeys) {
    return codingKeyNames;
  }

  static InputResult<ActivityDocument> decode(coding::Decoder& decoder,
                                              const ReadingContext& context);

 private:
  static constexpr std::array<std::string_view, 3> codingKeyNames{"attributes-type", "attributes",
                                                                  "content-state"};
};

}  // namespace host
