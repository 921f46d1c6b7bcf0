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
      return;
    case ActivityEvent::Form::push:
      break;
  }
  if (event.event == PushEvent::end) {
    activity_ = nullptr;
    attributes_.reset();
    shown_.reset();
    return;
  }
  if (event.event == PushEvent::start) attributes_ = event.attributes;
  activity_ = event.type;
  shown_ = event.contentState;
}

}  // namespace host
