#pragma once

#include "platform/coding/decoding_error.hpp"
#include "platform/coding/encoding_error.hpp"
#include "platform/coding/json_decoder.hpp"
#include "platform/coding/json_encoder.hpp"
#include "platform/ui/view.hpp"
#include "platform/widgets/activity_view_context.hpp"
#include "platform/widgets/dynamic_island.hpp"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace host {

// What reading one record gave: its re-encoded JSON, or why it was refused.
using RecordOutcome = std::variant<std::string, coding::DecodingError, coding::EncodingError>;

// Everything an activity shows for one content state.
struct Presentations {
  ui::View lockScreen;
  widgets::DynamicIsland island;
};
using PresentationOutcome = std::variant<Presentations, coding::DecodingError>;

// A record type the command line can read, under the name users give with --type. Content
// states also build their activity's presentations.
struct RecordKind {
  std::string name;
  std::function<RecordOutcome(std::string_view json)> validate;
  std::function<PresentationOutcome(std::string_view json)> present;
};

template <class T>
  requires coding::Decodable<T> && coding::Encodable<T>
RecordKind recordKind(std::string name) {
  return RecordKind{std::move(name),
                    [](std::string_view json) -> RecordOutcome {
                      coding::JSONDecoder decoder;
                      auto decoded = decoder.decode<T>(json);
                      if (!decoded) return std::move(decoded).error();
                      auto encoded = coding::encodeJSON(*decoded);
                      if (!encoded) return std::move(encoded).error();
                      return std::move(encoded).value();
                    },
                    {}};
}

// A content state with its activity's two builders, which are plain functions of the context.
template <class Attributes>
RecordKind contentStateKind(
    std::string name,
    ui::View (*lockScreen)(const widgets::ActivityViewContext<Attributes>&),
    widgets::DynamicIsland (*island)(const widgets::ActivityViewContext<Attributes>&)) {
  using State = typename Attributes::ContentState;
  RecordKind kind = recordKind<State>(std::move(name));
  kind.present = [lockScreen, island](std::string_view json) -> PresentationOutcome {
    coding::JSONDecoder decoder;
    auto decoded = decoder.decode<State>(json);
    if (!decoded) return std::move(decoded).error();
    const widgets::ActivityViewContext<Attributes> context{std::move(decoded).value(), {}};
    return Presentations{lockScreen(context), island(context)};
  };
  return kind;
}

}  // namespace host
