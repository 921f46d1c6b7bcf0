#include "platform/host/render_command.hpp"

#include "platform/host/command_input.hpp"
#include "platform/host/device_profile.hpp"
#include "platform/host/scene.hpp"
#include "platform/ui/render/cairo_renderer.hpp"
#include "platform/ui/render/pango_text_measurer.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>

namespace host {
namespace {

std::vector<Presentation> presentationsFor(std::string_view name) {
  if (name == "lockscreen") return {Presentation::lockScreen};
  if (name == "expanded") return {Presentation::expanded};
  if (name == "compact-leading") return {Presentation::compactLeading};
  if (name == "compact-trailing") return {Presentation::compactTrailing};
  if (name == "minimal") return {Presentation::minimal};
  if (name == "island") {
    return {Presentation::expanded, Presentation::compactLeading, Presentation::minimal};
  }
  return {Presentation::lockScreen, Presentation::expanded, Presentation::compactLeading,
          Presentation::minimal};
}

std::vector<ui::render::Appearance> appearancesFor(std::string_view name) {
  if (name == "dark") return {ui::render::Appearance::dark};
  if (name == "both") return {ui::render::Appearance::light, ui::render::Appearance::dark};
  return {ui::render::Appearance::light};
}

ActivityPresentations build(const ActivityEvent& event) {
  const widgets::ActivityType& type = *event.type;
  const std::any attributes = event.attributes ? *event.attributes : type.defaultAttributes();
  return {type.lockScreen(attributes, *event.contentState),
          type.dynamicIsland(attributes, *event.contentState)};
}

// One drawing of the asked presentations: a bare scene for one presentation in one appearance,
// a labelled sheet otherwise.
ui::render::DisplayList drawing(const ActivityPresentations& activity,
                                const std::vector<Presentation>& presentations,
                                const std::vector<ui::render::Appearance>& appearances,
                                const DeviceProfile& device,
                                const ui::layout::TextMeasurer& measurer) {
  if (presentations.size() == 1 && appearances.size() == 1) {
    return scene(activity, presentations.front(), device, appearances.front(), measurer);
  }
  return sheet(activity, presentations, appearances, device, measurer);
}

std::string encoded(const ui::render::DisplayList& list, std::string_view format, int scale,
                    const ui::render::TextSystem& text) {
  if (format == "svg") return ui::render::renderSVG(list, text);
  const std::vector<std::uint8_t> bytes = format == "pdf"
                                              ? ui::render::renderPDF(list, text)
                                              : ui::render::renderPNG(list, scale, text);
  return std::string(bytes.begin(), bytes.end());
}

bool writeFile(const std::string& path, const std::string& bytes, std::ostream& err) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file.close();
  if (!file) {
    err << "error: io: cannot write '" << path << "': " << std::strerror(errno) << '\n';
    return false;
  }
  return true;
}

// "out.png" becomes "out-003.png" for the third frame of a timeline.
std::string framePath(const std::string& output, std::size_t frame) {
  const std::size_t slash = output.find_last_of('/');
  const std::size_t dot = output.find_last_of('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  char number[16];
  std::snprintf(number, sizeof number, "-%03zu", frame);
  return hasExtension ? output.substr(0, dot) + number + output.substr(dot) : output + number;
}

std::string formatFor(const RenderOptions& options) {
  if (!options.format.empty()) return options.format;
  const auto ends = [&](std::string_view suffix) { return options.output.ends_with(suffix); };
  if (ends(".svg")) return "svg";
  if (ends(".pdf")) return "pdf";
  return "png";
}

}  // namespace

int runRender(const RenderOptions& options, const ActivityRegistry& registry, std::istream& in,
              std::ostream& out, std::ostream& err) {
  const DeviceProfile* device = findDeviceProfile(options.device);
  if (device == nullptr) {
    err << "error: usage: unknown device '" << options.device << "'; one of:";
    for (const DeviceProfile& profile : deviceProfiles()) err << ' ' << profile.name;
    err << '\n';
    return exitUsage;
  }
  int status = exitAccepted;
  const auto input =
      readInputOrReport(options.file, options.type, registry, false, in, out, err, status);
  if (!input) return status;
  printWarnings(input->warnings, err);

  const ui::render::TextSystem text;
  const ui::render::PangoTextMeasurer measurer(text);
  const auto presentations = presentationsFor(options.presentation);
  const auto appearances = appearancesFor(options.appearance);
  const std::string format = formatFor(options);
  std::size_t frame = 0;
  for (const ActivityEvent& event : input->events) {
    if (!event.contentState || !event.rebuild) continue;
    const auto list = drawing(build(event), presentations, appearances, *device, measurer);
    const std::string path = input->timeline ? framePath(options.output, ++frame) : options.output;
    if (!writeFile(path, encoded(list, format, options.scale, text), err)) return exitFailure;
    if (input->timeline) out << path << '\n';
    if (!input->timeline) break;
  }
  if (frame == 0 && input->timeline) {
    err << "error: usage: the timeline holds no content state to render\n";
    return exitUsage;
  }
  if (!input->timeline && !input->events.front().contentState) {
    err << "error: usage: the input holds no content state, so it has no presentations\n";
    return exitUsage;
  }
  return exitAccepted;
}

namespace {

std::string htmlEscaped(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace

int runDemo(const std::string& directory, const ActivityRegistry& registry,
            std::span<const DemoSample> samples, std::ostream& out, std::ostream& err) {
  if (registry.types().empty()) {
    err << "error: unavailable: " << registry.whyNotFound("the demo") << '\n';
    return exitRejected;
  }
  std::error_code error;
  std::filesystem::create_directories(directory, error);
  if (error) {
    err << "error: io: cannot create '" << directory << "': " << error.message() << '\n';
    return exitFailure;
  }
  const ui::render::TextSystem text;
  const ui::render::PangoTextMeasurer measurer(text);
  const auto presentations = presentationsFor("all");
  const std::vector<ui::render::Appearance> both{ui::render::Appearance::light,
                                                 ui::render::Appearance::dark};
  std::string html =
      "<!doctype html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<title>Tolvex Live Activities</title>\n<style>\n"
      "body{font-family:Inter,system-ui,sans-serif;margin:2rem;background:#f2f2f7;color:#1c1c1e}\n"
      "figure{margin:0 0 3rem}img{max-width:100%;height:auto;border-radius:8px;"
      "box-shadow:0 1px 4px rgba(0,0,0,.15)}figcaption{font-weight:600;margin:.5rem 0}\n"
      "</style>\n</head>\n<body>\n<h1>Tolvex Live Activities</h1>\n"
      "<p>Every presentation of each sample, light and dark, as drawn for " +
      std::string(defaultDeviceProfile().name) + ".</p>\n";
  std::size_t count = 0;
  for (const DemoSample& sample : samples) {
    const ActivityInput input = readActivityInput(sample.document, registry, "");
    if (input.failure || input.events.empty() || !input.events.front().contentState) {
      err << "error: internal: demo sample '" << sample.name
          << "': " << (input.failure ? input.failure->description() : "no content state") << '\n';
      return exitFailure;
    }
    const ActivityPresentations activity = build(input.events.front());
    const auto list = sheet(activity, presentations, both, defaultDeviceProfile(), measurer);
    const std::string base = std::string(sample.name);
    if (!writeFile(directory + "/" + base + ".png", encoded(list, "png", 2, text), err) ||
        !writeFile(directory + "/" + base + ".svg", encoded(list, "svg", 1, text), err)) {
      return exitFailure;
    }
    html += "<figure>\n<figcaption>" + htmlEscaped(sample.title) + "</figcaption>\n<a href=\"" +
            base + ".svg\"><img src=\"" + base + ".png\" alt=\"" + htmlEscaped(sample.title) +
            "\"></a>\n</figure>\n";
    ++count;
    err << "rendered " << count << " of " << samples.size() << ": " << sample.name << '\n';
  }
  html += "</body>\n</html>\n";
  const std::string index = directory + "/index.html";
  if (!writeFile(index, html, err)) return exitFailure;
  out << "wrote " << count << " sample activities to " << index << '\n';
  return exitAccepted;
}

}  // namespace host
