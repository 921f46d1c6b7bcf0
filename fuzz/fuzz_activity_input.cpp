// Reads arbitrary bytes as the command line does: bare records under each type name, activity
// documents, push payloads and timelines; builds every presentation of what it accepts.
#include "platform/host/input/activity_input.hpp"
#include "platform/image/image_cache.hpp"
#include "tolvex/extension/tolvex_widget_bundle.hpp"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

const host::ActivityRegistry registry(widgets::registeredActivities(tolvex::TolvexWidgetBundle{},
                                                                    widgets::defaultSystemVersion),
                                      widgets::defaultSystemVersion);
// As a command keeps one for all the lines of a timeline.
image::ImageCache images;

void readAs(std::string_view input, std::string_view type) {
  const host::ActivityInput read = host::readActivityInput(input, registry, type);
  if (read.failure && read.failure->description().empty()) std::abort();
  for (const host::ActivityEvent& event : read.events) {
    if (event.encoded.empty() || event.type == nullptr) std::abort();
    if (!event.contentState) continue;
    const std::any attributes =
        event.attributes ? *event.attributes : event.type->defaultAttributes();
    const std::string dump =
        ui::dump(event.type->lockScreen(attributes, *event.contentState, images)) +
        widgets::dump(event.type->dynamicIsland(attributes, *event.contentState, images));
    if (dump.empty()) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  readAs(input, "");
  readAs(input, "SignLiveActivityAttributes");
  readAs(input, "DownloadLiveActivityAttributes.ContentState");
  return 0;
}
