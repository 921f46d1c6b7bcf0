#pragma once

#include "platform/coding/decoder.hpp"
#include "platform/coding/encoder.hpp"
#include "platform/coding/result.hpp"
#include "platform/ui/view.hpp"
#include "platform/widgets/dynamic_island.hpp"

#include <any>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace image {
class ImageCache;
}

namespace widgets {

// The members a record reads, as its coding keys name them: what the host holds a sender's
// unknown members against.
struct RecordMembers {
  std::vector<std::string_view> names;
  // Those it reads only if present: left out, the record holds nothing for them.
  std::vector<std::string_view> optional;
};

// How the views use a content state's members, as far as a sender can get it wrong while the
// record still decodes: numbers given to a progress bar as its fraction of 1 (drawn clamped to
// 0...1), and texts decoded as base64 images (no image when they do not decode).
struct ContentStateUses {
  std::vector<std::string_view> fractions;
  std::vector<std::string_view> base64Images;
};

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
  RecordMembers attributesMembers;
  RecordMembers contentStateMembers;
  ContentStateUses contentStateUses;
};

}  // namespace widgets
