#include "platform/host/input/timeline.hpp"

namespace host {

std::optional<std::any> Timeline::attributesOf(const widgets::ActivityType* type) const {
  return type == activity_ ? attributes_ : std::nullopt;
}

bool Timeline::showsAlready(const widgets::ActivityType* type, const std::any& state) const {
  return type == activity_ && shown_ && type->contentStatesEqual(*shown_, state);
}

void Timeline::apply(const ActivityEvent& event) {
  switch (event.form) {
    case ActivityEvent::Form::attributesRecord:
    case ActivityEvent::Form::contentStateRecord:
      return;
    case ActivityEvent::Form::document:
      // A document stands for its activity as it is now, as a start would.
      activity_ = event.type;
      attributes_ = event.attributes;
      shown_ = event.contentState;
      newest_.reset();
      return;
    case ActivityEvent::Form::push:
      break;
  }
  if (event.event == PushEvent::end) {
    activity_ = nullptr;
    attributes_.reset();
    shown_.reset();
    newest_.reset();
    return;
  }
  if (event.event == PushEvent::start) attributes_ = event.attributes;
  // A start, or a push to another activity, begins the count anew.
  if (event.event == PushEvent::start || event.type != activity_) newest_.reset();
  if (event.timestamp && !(newest_ && *newest_ >= *event.timestamp)) newest_ = event.timestamp;
  activity_ = event.type;
  shown_ = event.contentState;
}

}  // namespace host
