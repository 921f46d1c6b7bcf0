#include "platform/host/serve/page/page_preview.hpp"

#include "platform/coding/json_writer.hpp"
#include "platform/host/device/fit_report.hpp"
#include "platform/host/device/scene.hpp"
#include "platform/host/input/activity_input.hpp"
#include "platform/ui/render/cairo_renderer.hpp"
#include "platform/ui/render/pango_text_measurer.hpp"

#include <mutex>
#include <optional>

namespace host::serve {

using coding::JsonWriter;

struct PagePreview::Impl {
  const ActivityRegistry& registry;
  std::mutex drawing;  // guards the text system, its measurer and the image cache below
  ui::render::TextSystem text;
  ui::render::PangoTextMeasurer measurer{text};
  // Shared by the requests: the page asks again for every state of an activity, icon and all.
  image::ImageCache images;

  explicit Impl(const ActivityRegistry& r) : registry(r) {}
};

namespace {

void key(JsonWriter& writer, std::string_view name) {
  writer.string(name);
  writer.colon();
}

void count(JsonWriter& writer, std::optional<std::size_t> value) {
  if (value) {
    writer.number(static_cast<double>(*value));
  } else {
    writer.null();
  }
}

// The place as the reader found it: the line and column where the fault starts, and the UTF-8
// bytes of the input it spans, from which the page marks it.
void writeFailure(JsonWriter& writer, const InputFailure& failure) {
  writer.beginObject();
  key(writer, "kind");
  writer.string(kindName(failure.kind));
  writer.comma();
  key(writer, "description");
  writer.string(failure.description());
  writer.comma();
  key(writer, "path");
  if (failure.path.empty()) {
    writer.null();
  } else {
    writer.string(joinedPath(failure.path));
  }
  const auto& place = failure.place;
  const auto line = place ? place->line : failure.line;
  writer.comma();
  key(writer, "line");
  count(writer, line > 0 ? std::optional(line) : std::nullopt);
  writer.comma();
  key(writer, "column");
  count(writer, place ? std::optional(place->column) : std::nullopt);
  writer.comma();
  key(writer, "start");
  count(writer, place ? std::optional(place->start) : std::nullopt);
  writer.comma();
  key(writer, "end");
  count(writer, place ? std::optional(place->end) : std::nullopt);
  writer.endObject();
}

}  // namespace

PagePreview::PagePreview(const ActivityRegistry& registry)
    : impl_(std::make_unique<Impl>(registry)) {}

PagePreview::~PagePreview() = default;

std::string PagePreview::json(std::string_view input, std::string_view typeName,
                              const DeviceProfile& device) {
  std::string out;
  JsonWriter writer(out);
  writer.beginObject();
  if (input.size() > maxInputBytes) {
    InputFailure tooLarge;
    tooLarge.detail = "the input is larger than " + std::to_string(maxInputBytes >> 10) + " KB";
    key(writer, "accepted");
    writer.boolean(false);
    writer.comma();
    key(writer, "error");
    writeFailure(writer, tooLarge);
    writer.raw(",\"warnings\":[],\"line\":null,\"presentations\":[]}");
    return out;
  }
  const ActivityInput read = readActivityInput(input, impl_->registry, typeName);
  key(writer, "accepted");
  writer.boolean(!read.failure);
  writer.comma();
  key(writer, "error");
  if (read.failure) {
    writeFailure(writer, *read.failure);
  } else {
    writer.null();
  }
  writer.comma();
  key(writer, "warnings");
  writer.beginArray();
  for (std::size_t i = 0; i < read.warnings.size(); ++i) {
    if (i > 0) writer.comma();
    writer.string(read.warnings[i].description());
  }
  writer.endArray();

  // The state the activity shows once the whole input has arrived.
  const ActivityEvent* shown = nullptr;
  if (!read.failure) {
    for (const ActivityEvent& event : read.events) {
      if (event.contentState && event.rebuild) shown = &event;
    }
  }
  writer.comma();
  key(writer, "line");
  if (shown && read.timeline) {
    writer.number(static_cast<double>(shown->line));
  } else {
    writer.null();
  }
  writer.comma();
  key(writer, "presentations");
  writer.beginArray();
  if (shown) {
    const ActivityPresentations activity = buildPresentations(*shown, impl_->images);
    std::lock_guard guard(impl_->drawing);
    bool first = true;
    for (Presentation presentation : allPresentations) {
      if (!first) writer.comma();
      first = false;
      const Scene scene = layOutScene(activity, presentation, device, impl_->measurer);
      writer.beginObject();
      key(writer, "presentation");
      writer.string(presentationName(presentation));
      writer.comma();
      key(writer, "light");
      writer.string(
          ui::render::renderSVG(paint(scene, ui::render::Appearance::light), impl_->text));
      writer.comma();
      key(writer, "dark");
      writer.string(ui::render::renderSVG(paint(scene, ui::render::Appearance::dark), impl_->text));
      writer.comma();
      key(writer, "findings");
      writer.beginArray();
      const auto findings = fitFindings(fitReport(activity, presentation, device, impl_->measurer));
      for (std::size_t i = 0; i < findings.size(); ++i) {
        if (i > 0) writer.comma();
        writer.string(findings[i]);
      }
      writer.endArray();
      writer.endObject();
    }
  }
  writer.endArray();
  writer.endObject();
  return out;
}

}  // namespace host::serve
