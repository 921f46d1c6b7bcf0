#include "platform/host/serve/page/page_preview.hpp"

#include "platform/coding/json_writer.hpp"
#include "platform/host/device/fit_report.hpp"
#include "platform/host/device/scene.hpp"
#include "platform/host/input/activity_input.hpp"
#include "platform/host/input/record_reading.hpp"
#include "platform/ui/render/cairo_renderer.hpp"
#include "platform/ui/render/pango_text_measurer.hpp"
#include "platform/ui/render/svg_markup.hpp"
#include "platform/ui/render/svg_writer.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>

namespace host::serve {

using coding::JsonWriter;

struct PagePreview::Impl {
  const ActivityRegistry& registry;
  std::mutex drawing;  // guards the text system, its measurer and its SVG writer below
  ui::render::TextSystem text;
  ui::render::PangoTextMeasurer measurer{text};
  ui::render::SvgWriter svg{text};
  // Shared by the requests: the page asks again for every state of an activity, icon and all.
  // It locks itself.
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

// A drawing's key: the page keeps drawings by it, and is sent again only those it lacks. Known
// from the display list, before any drawing is made.
std::string keyOf(const ui::render::DisplayList& list) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx",
                static_cast<unsigned long long>(ui::render::fingerprint(list)));
  return text;
}

void strings(JsonWriter& writer, const std::vector<std::string>& values) {
  writer.beginArray();
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) writer.comma();
    writer.string(values[i]);
  }
  writer.endArray();
}

}  // namespace

PagePreview::PagePreview(const ActivityRegistry& registry)
    : impl_(std::make_unique<Impl>(registry)) {}

PagePreview::~PagePreview() = default;

std::vector<std::string> PagePreview::typesReading(std::string_view input) const {
  std::vector<std::string> found;
  for (const widgets::ActivityType& type : impl_->registry.types()) {
    for (std::string name : {type.name + ".ContentState", type.name}) {
      const ActivityInput read = readActivityInput(input, impl_->registry, name);
      if (read.failure || read.events.empty()) continue;
      const auto form = read.events.front().form;
      if (form == ActivityEvent::Form::contentStateRecord ||
          form == ActivityEvent::Form::attributesRecord) {
        found.push_back(std::move(name));
      }
    }
  }
  return found;
}

std::optional<std::string> PagePreview::startDocument(std::string_view input,
                                                      std::string_view typeName) const {
  std::string name(typeName);
  if (name.empty()) {
    const auto types = typesReading(input);
    if (types.size() != 1) return std::nullopt;
    name = types.front();
  }
  const ActivityInput read = readActivityInput(input, impl_->registry, name);
  if (read.failure || read.timeline || read.events.size() != 1) return std::nullopt;
  const ActivityEvent& event = read.events.front();
  if (event.form != ActivityEvent::Form::contentStateRecord || !event.type) return std::nullopt;
  const widgets::ActivityType& type = *event.type;
  auto attributes = encodeErased(type.encodeAttributes, type.defaultAttributes());
  if (!attributes) return std::nullopt;
  const EncodedRecord state{event.encoded, {}};
  return encodeActivity(std::nullopt, type, &*attributes, &state);
}

std::string PagePreview::json(std::string_view input, std::string_view typeName,
                              const PreviewOptions& options) {
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
    writer.raw(",\"warnings\":[],\"type\":null,\"line\":null,\"presentations\":[]}");
    return out;
  }
  ActivityInput read = readActivityInput(input, impl_->registry, typeName);
  // A record on its own names no type: the one type that reads it is the one meant; with more
  // than one, or none, the user is asked in the page's words.
  std::string inferred;
  if (read.failure && typeName.empty() && read.failure->kind == InputFailure::Kind::usage &&
      !read.timeline) {
    const auto types = typesReading(input);
    if (types.size() == 1) {
      inferred = types.front();
      read = readActivityInput(input, impl_->registry, inferred);
    } else {
      std::string names;
      for (const std::string& name : types) names += (names.empty() ? "" : ", ") + name;
      read.failure->detail =
          types.empty()
              ? "a content state on its own, and no type reads it: choose its type in the Type "
                "menu to see where it breaks"
              : "a content state on its own that several types read (" + names +
                    "): choose one in the Type menu";
    }
  }
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
  writer.comma();
  key(writer, "type");
  if (inferred.empty()) {
    writer.null();
  } else {
    writer.string(inferred);
  }

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
    ui::layout::Environment environment;
    environment.typeSize = options.textSize;
    const DeviceProfile& device = *options.device;
    std::lock_guard guard(impl_->drawing);
    bool first = true;
    for (const Presentation presentation : options.presentations) {
      if (!shows(device, presentation)) continue;
      if (!first) writer.comma();
      first = false;
      const Scene scene = layOutScene(activity, presentation, device, impl_->measurer, environment);
      writer.beginObject();
      key(writer, "presentation");
      writer.string(presentationName(presentation));
      writer.comma();
      key(writer, "device");
      writer.string(scene.device ? scene.device->name : device.name);
      for (const auto appearance : {ui::render::Appearance::light, ui::render::Appearance::dark}) {
        const bool light = appearance == ui::render::Appearance::light;
        const ui::render::DisplayList list = paint(scene, appearance);
        const std::string drawingKey = keyOf(list);
        writer.comma();
        key(writer, light ? "light" : "dark");
        if (std::find(options.known.begin(), options.known.end(), drawingKey) !=
            options.known.end()) {
          writer.null();
        } else {
          std::optional<std::string> drawn = impl_->svg.write(list);
          if (!drawn) drawn = ui::render::glyphsInPlace(ui::render::renderSVG(list, impl_->text));
          // Grown once for the drawing, not piece by piece as it is copied in.
          out.reserve(out.size() + drawn->size() + 1024);
          writer.string(*drawn);
        }
        writer.comma();
        key(writer, light ? "lightKey" : "darkKey");
        writer.string(drawingKey);
      }
      const Findings findings =
          sortedFindings(fitReport(activity, presentation, device, impl_->measurer, environment));
      writer.comma();
      key(writer, "findings");
      strings(writer, findings.actionable);
      writer.comma();
      key(writer, "advice");
      strings(writer, findings.advice);
      writer.endObject();
    }
  }
  writer.endArray();
  writer.endObject();
  return out;
}

}  // namespace host::serve
