#pragma once

namespace widgets {

// What the host hands an activity's view builders: the activity's static attributes and its
// current content state.
template <class Attributes>
struct ActivityViewContext {
  typename Attributes::ContentState state;
  Attributes attributes;
};

}  // namespace widgets
