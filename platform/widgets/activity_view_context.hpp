#pragma once

namespace image {
class ImageCache;
}

namespace widgets {

// What the host hands an activity's view builders: the activity's static attributes, its current
// content state, and the images decoded for whoever draws, so that an image a state repeats is
// decoded once however many views and updates show it. Without a cache each view decodes its own.
template <class Attributes>
struct ActivityViewContext {
  typename Attributes::ContentState state;
  Attributes attributes;
  image::ImageCache* images = nullptr;
};

}  // namespace widgets
