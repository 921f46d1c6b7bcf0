// Builds every presentation of both activities from fuzzed content states, dumps them and draws
// them (PNG in memory, and the page's SVG). The builders are pure: building twice must give the
// same dump.
#include "platform/coding/json_decoder.hpp"
#include "platform/host/device/sheet.hpp"
#include "platform/ui/render/cairo_renderer.hpp"
#include "platform/ui/render/pango_text_measurer.hpp"
#include "platform/ui/render/svg_writer.hpp"
#include "tolvex/download/download_dynamic_island.hpp"
#include "tolvex/download/download_lock_screen_view.hpp"
#include "tolvex/sign/sign_dynamic_island.hpp"
#include "tolvex/sign/sign_lock_screen_view.hpp"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

coding::JSONDecoder decoder;
const ui::render::TextSystem text;
const ui::render::PangoTextMeasurer measurer(text);
ui::render::SvgWriter svg(text);

template <class Attributes>
void present(std::string_view input,
             ui::View (*lockScreen)(const widgets::ActivityViewContext<Attributes>&),
             widgets::DynamicIsland (*island)(const widgets::ActivityViewContext<Attributes>&)) {
  auto state = decoder.decode<typename Attributes::ContentState>(input);
  if (!state) return;
  const widgets::ActivityViewContext<Attributes> context{std::move(state).value(), {}};
  const std::string first = ui::dump(lockScreen(context)) + widgets::dump(island(context));
  const std::string second = ui::dump(lockScreen(context)) + widgets::dump(island(context));
  if (first.empty() || first != second) std::abort();

  const host::ActivityPresentations activity{lockScreen(context), island(context)};
  for (host::Presentation presentation :
       {host::Presentation::lockScreen, host::Presentation::expanded,
        host::Presentation::compactLeading, host::Presentation::minimal}) {
    const auto list = host::paint(
        host::layOutScene(activity, presentation, host::defaultDeviceProfile(), measurer),
        ui::render::Appearance::dark);
    // Every presentation stays within its place on the screen.
    if (list.width != host::defaultDeviceProfile().screenWidth ||
        list.height > host::presentationMaxHeight + 2 * host::lockScreenInset) {
      std::abort();
    }
    if (ui::render::renderPNG(list, 1, text).empty()) std::abort();
    // The page's drawing holds numbers and markup of our own, never the state's text.
    const auto page = svg.write(list);
    if (page && (page->find('"') != std::string::npos || !page->ends_with("</svg>"))) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  present<tolvex::SignLiveActivityAttributes>(input, tolvex::SignLockScreenView,
                                              tolvex::SignDynamicIsland);
  present<tolvex::DownloadLiveActivityAttributes>(input, tolvex::DownloadLockScreenView,
                                                  tolvex::DownloadDynamicIsland);
  return 0;
}
