#pragma once

#include "platform/host/input/activity_event.hpp"

namespace host {

// What a timeline carries from line to line: the activity a start or a document brought up last,
// its attributes, and the content state it shows now. An end takes it down.
class Timeline {
 public:
  const widgets::ActivityType* activity() const noexcept { return activity_; }
  // The attributes of `type` when it is the activity up now.
  std::optional<std::any> attributesOf(const widgets::ActivityType* type) const;
  // Whether an update of `type` to `state` would show what is shown already.
  bool showsAlready(const widgets::ActivityType* type, const std::any& state) const;
  // The newest push timestamp the activity up now has taken, as the phone keeps it.
  std::optional<double> newestTimestamp(const widgets::ActivityType* type) const {
    return type == activity_ ? newest_ : std::nullopt;
  }

  void apply(const ActivityEvent& event);

 private:
  const widgets::ActivityType* activity_ = nullptr;
  std::optional<std::any> attributes_;
  std::optional<std::any> shown_;
  std::optional<double> newest_;
};

}  // namespace host
