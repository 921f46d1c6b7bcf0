#pragma once

#include "platform/widgets/activity_type.hpp"
#include "platform/widgets/system_version.hpp"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace host {

// The activity types a bundle registered, in registration order: the only source of activity
// types the host knows.
class ActivityRegistry {
 public:
  ActivityRegistry(std::vector<widgets::ActivityType> types, widgets::SystemVersion system)
      : types_(std::move(types)), system_(system) {}

  std::span<const widgets::ActivityType> types() const noexcept { return types_; }
  widgets::SystemVersion system() const noexcept { return system_; }

  // A name users give with --type: an attributes type or its content state.
  struct Match {
    const widgets::ActivityType* type;
    bool contentState;
  };
  std::optional<Match> find(std::string_view name) const;
  const widgets::ActivityType* activity(std::string_view attributesType) const;

  // "SignLiveActivityAttributes, ..." for messages.
  std::string names(bool withContentStates) const;
  // Why an activity name finds nothing: unknown, or nothing registered on this system at all.
  std::string whyNotFound(std::string_view name) const;

 private:
  std::vector<widgets::ActivityType> types_;
  widgets::SystemVersion system_;
};

}  // namespace host
