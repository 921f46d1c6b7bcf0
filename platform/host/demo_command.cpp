#include "platform/host/command.hpp"
#include "platform/host/device/sheet.hpp"
#include "platform/host/display_options.hpp"
#include "platform/host/drawing_output.hpp"
#include "platform/host/input/activity_input.hpp"
#include "platform/host/presentation_choice.hpp"
#include "platform/ui/render/pango_text_measurer.hpp"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <ostream>

namespace host {
namespace {

// How a sample's phone is set up, from its settings ("locale=ar text-size=AX2").
struct SampleSetup {
  ui::layout::Environment environment;
  std::vector<Presentation> presentations{allPresentations.begin(), allPresentations.end()};
  std::vector<ui::render::Appearance> appearances{ui::render::Appearance::light,
                                                  ui::render::Appearance::dark};
};

SampleSetup setupOf(std::string_view settings) {
  SampleSetup setup;
  while (!settings.empty()) {
    const std::size_t space = settings.find(' ');
    const std::string_view setting = settings.substr(0, space);
    settings = space == std::string_view::npos ? std::string_view() : settings.substr(space + 1);
    const std::size_t equals = setting.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view key = setting.substr(0, equals);
    const std::string_view value = setting.substr(equals + 1);
    if (key == "locale") setup.environment.layoutDirection = ui::layoutDirection(value);
    // One column where two would make a sheet of many megapixels (every surface).
    if (key == "appearance" && value == "dark") setup.appearances = {ui::render::Appearance::dark};
    for (const auto& [name, size] : textSizeChoices(false)) {
      if (key == "text-size" && name == value) setup.environment.typeSize = *size;
    }
    for (const auto& [name, choice] : presentationChoices()) {
      if (key == "presentation" && name == value) setup.presentations = presentationsOf(choice);
    }
  }
  return setup;
}

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

// The gallery page around the samples' pictures.
class Gallery {
 public:
  explicit Gallery(std::string_view device)
      : html_(
            "<!doctype html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
            "<title>Tolvex Live Activities</title>\n<style>\n"
            "body{font-family:Inter,system-ui,sans-serif;margin:2rem;background:#f2f2f7;"
            "color:#1c1c1e}\n"
            "figure{margin:0 0 3rem}img{max-width:100%;height:auto;border-radius:8px;"
            "box-shadow:0 1px 4px rgba(0,0,0,.15)}figcaption{font-weight:600;margin:.5rem 0}\n"
            "</style>\n</head>\n<body>\n<h1>Tolvex Live Activities</h1>\n"
            "<p>Every presentation of each sample, light and dark, as drawn for " +
            std::string(device) + ".</p>\n") {}

  void add(std::string_view base, std::string_view title) {
    html_ += "<figure>\n<figcaption>" + htmlEscaped(title) + "</figcaption>\n<a href=\"" +
             std::string(base) + ".svg\"><img src=\"" + std::string(base) + ".png\" alt=\"" +
             htmlEscaped(title) + "\"></a>\n</figure>\n";
  }

  std::string finished() const { return html_ + "</body>\n</html>\n"; }

 private:
  std::string html_;
};

class DemoCommand final : public Command {
 public:
  CLI::App* add(CLI::App& app) override {
    CLI::App* command = app.add_subcommand(
        "demo", "Render the built-in sample activities into a folder with an index.html gallery");
    command->add_option("-o,--output", directory_, "The folder to write (default tolvex-demo)");
    return command;
  }

  ExitStatus run(const CommandContext& context) const override {
    if (context.registry.types().empty()) {
      context.err << "error: unavailable: " << context.registry.whyNotFound("the demo") << '\n';
      return exitRejected;
    }
    std::error_code error;
    std::filesystem::create_directories(directory_, error);
    if (error) {
      context.err << "error: io: cannot create '" << directory_ << "': " << error.message() << '\n';
      return exitFailure;
    }
    const ui::render::TextSystem text;
    const ui::render::PangoTextMeasurer measurer(text);
    image::ImageCache images;
    const DeviceProfile& device = defaultDeviceProfile();
    Gallery gallery(device.name);
    std::size_t count = 0;
    for (const DemoSample& sample : context.samples) {
      const ActivityInput input = readActivityInput(sample.document, context.registry, "");
      if (input.failure || input.events.empty() || !input.events.front().contentState) {
        context.err << "error: internal: demo sample '" << sample.name
                    << "': " << (input.failure ? input.failure->description() : "no content state")
                    << '\n';
        return exitFailure;
      }
      const SampleSetup setup = setupOf(sample.settings);
      const auto list = sheet(buildPresentations(input.events.front(), images), setup.presentations,
                              setup.appearances, device, measurer, setup.environment);
      const std::string base = directory_ + "/" + std::string(sample.name);
      if (!writeFile(base + ".png", encodeDrawing(list, OutputFormat::png, 2, text), context.err) ||
          !writeFile(base + ".svg", encodeDrawing(list, OutputFormat::svg, 1, text), context.err)) {
        return exitFailure;
      }
      gallery.add(sample.name, sample.title);
      ++count;
      context.err << "rendered " << count << " of " << context.samples.size() << ": " << sample.name
                  << '\n';
    }
    const std::string index = directory_ + "/index.html";
    if (!writeFile(index, gallery.finished(), context.err)) return exitFailure;
    context.out << "wrote " << count << " sample activities to " << index << '\n';
    return exitAccepted;
  }

 private:
  std::string directory_ = "tolvex-demo";
};

}  // namespace

std::unique_ptr<Command> demoCommand() {
  return std::make_unique<DemoCommand>();
}

}  // namespace host
