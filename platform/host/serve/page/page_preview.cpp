#include "platform/host/serve/page/page_preview.hpp"

#include "platform/coding/json_writer.hpp"
#include "platform/host/device/fit_report.hpp"
#include "platform/host/device/scene.hpp"
#include "platform/host/input/activity_input.hpp"
#include "platform/ui/render/cairo_renderer.hpp"
#include "platform/ui/render/pango_text_measurer.hpp"

#include <cstdio>
#include <mutex>

namespace host::serve {

using coding::JsonWriter;

struct PagePreview::Impl {
  const ActivityRegistry& registry;
  std::mutex drawing;
  ui::render::TextSystem text;
  ui::render::PangoTextMeasurer measurer{text};

  explicit Impl(const ActivityRegistry& r) : registry(r) {}
};

namespace {

void key(JsonWriter& writer, std::string_view name) {
  writer.string(name);
  writer.colon();
}

// "invalid JSON at line 3, column 13: ..." names the place in the text itself.
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
  std::size_t line = failure.line;
  std::size_t column = 0;
  if (const std::size_t at = failure.detail.find("at line "); at != std::string::npos) {
    std::size_t inner = 0;
    if (std::sscanf(failure.detail.c_str() + at, "at line %zu, column %zu", &inner, &column) == 2) {
      // In a timeline the reader counts lines of the file; the text's own line is within it.
      if (line == 0) line = inner;
    } else {
      column = 0;
    }
  }
  writer.comma();
  key(writer, "line");
  if (line > 0) {
    writer.number(static_cast<double>(line));
  } else {
    writer.null();
  }
  writer.comma();
  key(writer, "column");
  if (column > 0) {
    writer.number(static_cast<double>(column));
  } else {
    writer.null();
  }
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
    const ActivityPresentations activity = buildPresentations(*shown);
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
