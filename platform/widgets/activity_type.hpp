#pragma once

#include "platform/coding/decoder.hpp"
#include "platform/coding/encoder.hpp"
#include "platform/coding/result.hpp"
#include "platform/ui/view.hpp"
#include "platform/widgets/dynamic_island.hpp"

#include <any>
#include <functional>
#include <string>

namespace image {
class ImageCache;
}

namespace widgets {

// An activity kind as the host keeps it once a widget has registered it: its attributes type's
// name and everything the host does with its records, with the record types erased. A record
// travels as std::any holding the attributes type or its content state.
struct ActivityType {
  std::string name;              // "SignLiveActivityAttributes"
  std::string contentStateName;  // "SignLiveActivityAttributes.ContentState"

  std::function<coding::Result<std::any, coding::DecodingError>(coding::Decoder&)> decodeAttributes;
  std::function<coding::Result<std::any, coding::DecodingError>(coding::Decoder&)>
      decodeContentState;
  // Write a record into an encoder, which keeps the first refusal.
  std::function<void(const std::any&, coding::Encoder&)> encodeAttributes;
  std::function<void(const std::any&, coding::Encoder&)> encodeContentState;
  // Record equality of two content states.
  std::function<bool(const std::any&, const std::any&)> contentStatesEqual;
  // A default attributes record, for a content state that arrives on its own.
  std::function<std::any()> defaultAttributes;
  // The configuration's two builders, given attributes, a content state and the images decoded for
  // whoever draws.
  std::function<ui::View(const std::any&, const std::any&, image::ImageCache&)> lockScreen;
  std::function<DynamicIsland(const std::any&, const std::any&, image::ImageCache&)> dynamicIsland;
};

}  // namespace widgets
