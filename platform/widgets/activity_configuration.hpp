#pragma once

#include "platform/coding/json_decoder.hpp"
#include "platform/coding/json_encoder.hpp"
#include "platform/widgets/activity_type.hpp"
#include "platform/widgets/activity_view_context.hpp"

#include <algorithm>
#include <string_view>
#include <type_traits>
#include <vector>

namespace widgets {

// What an activity's attributes type offers: a name known to the host and to push payloads, and
// a content state that can be decoded, encoded and compared.
template <class A>
concept ActivityAttributes = requires {
  { A::activityTypeName } -> std::convertible_to<std::string_view>;
  typename A::ContentState;
}
&&coding::Decodable<A>&& coding::Encodable<A>&& coding::Decodable<typename A::ContentState>&&
    coding::Encodable<typename A::ContentState>&&
        std::equality_comparable<typename A::ContentState>;

// Binds an attributes type to its Lock Screen builder and its Dynamic Island builder. Both are
// plain functions: they capture nothing and read only the context they are given.
template <ActivityAttributes A>
struct ActivityConfiguration {
  using Context = ActivityViewContext<A>;
  ui::View (*content)(const Context&);
  DynamicIsland (*dynamicIsland)(const Context&);
  // What the views make of the content state's members, for the host's warnings to senders.
  ContentStateUses contentStateUses{};

  void registerInto(std::vector<ActivityType>& types) const { types.push_back(erased()); }

  ActivityType erased() const {
    using State = typename A::ContentState;
    ActivityType type;
    type.name = std::string(A::activityTypeName);
    type.contentStateName = type.name + ".ContentState";
    type.decodeAttributes = [](coding::Decoder& decoder) { return decodeAny<A>(decoder); };
    type.decodeContentState = [](coding::Decoder& decoder) { return decodeAny<State>(decoder); };
    type.encodeAttributes = [](const std::any& value, coding::Encoder& encoder) {
      std::any_cast<const A&>(value).encode(encoder);
    };
    type.encodeContentState = [](const std::any& value, coding::Encoder& encoder) {
      std::any_cast<const State&>(value).encode(encoder);
    };
    type.contentStatesEqual = [](const std::any& a, const std::any& b) {
      return std::any_cast<const State&>(a) == std::any_cast<const State&>(b);
    };
    type.defaultAttributes = [] { return std::any(A{}); };
    type.attributesMembers = membersOf<A>();
    type.contentStateMembers = membersOf<State>();
    type.contentStateUses = contentStateUses;
    type.lockScreen = [content = content](const std::any& attributes, const std::any& state,
                                          image::ImageCache& images) {
      return content(context(attributes, state, images));
    };
    type.dynamicIsland = [island = dynamicIsland](const std::any& attributes, const std::any& state,
                                                  image::ImageCache& images) {
      return island(context(attributes, state, images));
    };
    return type;
  }

 private:
  // A record's keys, and which of them it may go without: those a record made with no values
  // leaves out when it is written, as a record writes an optional member only when it holds one.
  template <class T>
  static RecordMembers membersOf() {
    RecordMembers members;
    if constexpr (requires { codingKeyStrings(typename T::CodingKeys{}); }) {
      const auto names = codingKeyStrings(typename T::CodingKeys{});
      members.names.assign(names.begin(), names.end());
      if constexpr (std::is_default_constructible_v<T>) {
        std::string json;
        std::vector<coding::MemberSize> written;
        coding::Encoder encoder(json);
        encoder.measureMembers(written);
        T{}.encode(encoder);
        for (std::string_view name : names) {
          const bool wrote = std::any_of(written.begin(), written.end(),
                                         [&](const auto& member) { return member.name == name; });
          if (!wrote) members.optional.push_back(name);
        }
      }
    }
    return members;
  }

  template <class T>
  static coding::Result<std::any, coding::DecodingError> decodeAny(coding::Decoder& decoder) {
    auto decoded = T::decode(decoder);
    if (!decoded) return std::move(decoded).error();
    return std::any(std::move(decoded).value());
  }

  static Context context(const std::any& attributes, const std::any& state,
                         image::ImageCache& images) {
    return Context{std::any_cast<const typename A::ContentState&>(state),
                   std::any_cast<const A&>(attributes), &images};
  }
};

}  // namespace widgets
