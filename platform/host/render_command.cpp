#include "platform/host/choice_option.hpp"
#include "platform/host/command_input.hpp"
#include "platform/host/device/sheet.hpp"
#include "platform/host/display_options.hpp"
#include "platform/host/drawing_output.hpp"
#include "platform/host/presentation_choice.hpp"
#include "platform/ui/render/pango_text_measurer.hpp"

#include <algorithm>
#include <cstdio>
#include <ostream>

namespace host {
namespace {

using ui::render::Appearance;

enum class AppearanceChoice { light, dark, both };

constexpr std::array<std::pair<std::string_view, AppearanceChoice>, 3> appearanceChoices{{
    {"light", AppearanceChoice::light},
    {"dark", AppearanceChoice::dark},
    {"both", AppearanceChoice::both},
}};

std::vector<Appearance> appearancesOf(AppearanceChoice choice) {
  switch (choice) {
    case AppearanceChoice::light:
      return {Appearance::light};
    case AppearanceChoice::dark:
      return {Appearance::dark};
    case AppearanceChoice::both:
      break;
  }
  return {Appearance::light, Appearance::dark};
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

class RenderCommand final : public Command {
 public:
  RenderCommand() {
    for (const DeviceProfile& profile : allDeviceProfiles())
      devices_.emplace_back(profile.name, &profile);
  }

  CLI::App* add(CLI::App& app) override {
    CLI::App* command = app.add_subcommand("render", "Draw presentations as PNG, SVG or PDF");
    input_.addTo(*command);
    addChoice(*command, "--presentation", presentation_, presentationChoices(),
              "Which presentations (default all)");
    addChoice<AppearanceChoice>(*command, "--appearance", appearance_, appearanceChoices,
                                "Which appearance (default light)");
    addChoice<const DeviceProfile*>(*command, "--device", device_, devices_,
                                    "Which device (default iphone-15-pro)");
    display_.addTo(*command);
    addChoice<std::optional<ui::DynamicTypeSize>>(*command, "--text-size", textSize_,
                                                  textSizeChoices(false),
                                                  "The phone's text size (default Large)");
    command->add_option("--scale", scale_, "Pixels per point for PNG: 1, 2 or 3 (default 3)")
        ->check(CLI::IsMember({1, 2, 3}));
    addChoice<std::optional<OutputFormat>>(*command, "--format", format_, formatChoices(),
                                           "The file format (default: from the extension of -o)");
    command->add_option("-o,--output", output_, "The file to write (.png, .svg or .pdf)")
        ->required();
    return command;
  }

  ExitStatus run(const CommandContext& context) const override {
    const auto format = outputFormat(context.err);
    if (!format) return exitUsage;
    const auto input = readCommandInput(input_, context, RejectionReport::text);
    if (!input) return input.error();
    printWarnings(input->warnings, context.err);

    const ui::render::TextSystem text;
    const ui::render::PangoTextMeasurer measurer(text);
    image::ImageCache images;
    const auto presentations = presentationsOf(presentation_);
    const auto appearances = appearancesOf(appearance_);
    const ui::layout::Environment environment =
        display_.environment(textSize_.value_or(ui::DynamicTypeSize::large));
    std::size_t frame = 0;
    for (const ActivityEvent& event : input->events) {
      if (!event.contentState || !event.rebuild) continue;
      const ActivityPresentations activity = buildPresentations(event, images);
      if (std::none_of(presentations.begin(), presentations.end(),
                       [&](Presentation p) { return shows(*device_, p); })) {
        context.err << "error: usage: " << device_->name
                    << " shows none of the presentations asked for (the island's need a Dynamic "
                       "Island, the Lock Screen a phone or a tablet)\n";
        return exitUsage;
      }
      // One presentation in one appearance is a bare picture; anything more, a labelled sheet.
      const auto list =
          presentations.size() == 1 && appearances.size() == 1
              ? paint(layOutScene(activity, presentations.front(), *device_, measurer, environment),
                      appearances.front())
              : sheet(activity, presentations, appearances, *device_, measurer, environment);
      const std::string path = input->timeline ? framePath(output_, ++frame) : output_;
      if (!writeFile(path, encodeDrawing(list, *format, scale_, text), context.err)) {
        return exitFailure;
      }
      if (!input->timeline) break;
      context.out << path << '\n';
    }
    if (frame == 0 && input->timeline) {
      context.err << "error: usage: the timeline holds no content state to render\n";
      return exitUsage;
    }
    if (!input->timeline && !input->events.front().contentState) {
      context.err << "error: usage: the input holds no content state, so it has no presentations\n";
      return exitUsage;
    }
    return exitAccepted;
  }

 private:
  static std::span<const std::pair<std::string_view, std::optional<OutputFormat>>> formatChoices() {
    static const auto table = [] {
      std::vector<std::pair<std::string_view, std::optional<OutputFormat>>> choices;
      for (const auto& [name, format] : outputFormatNames()) choices.emplace_back(name, format);
      return choices;
    }();
    return table;
  }

  // --format, else the extension of -o; a usage error when neither says or they disagree.
  std::optional<OutputFormat> outputFormat(std::ostream& err) const {
    const auto fromPath = formatOfPath(output_);
    const std::size_t slash = output_.find_last_of('/');
    const bool hasExtension =
        output_.find('.', slash == std::string::npos ? 0 : slash) != std::string::npos;
    if (hasExtension && !fromPath) {
      err << "error: usage: -o '" << output_
          << "' has an extension that is no format written here; end it with .png, .svg or "
             ".pdf\n";
      return std::nullopt;
    }
    if (format_ && fromPath && *format_ != *fromPath) {
      err << "error: usage: --format " << nameOf(*format_) << " contradicts the extension of '"
          << output_ << "'; give one that agrees, or leave --format out\n";
      return std::nullopt;
    }
    if (!format_ && !fromPath) {
      err << "error: usage: cannot tell the format of '" << output_
          << "': end -o with .png, .svg or .pdf, or give --format png, svg or pdf\n";
      return std::nullopt;
    }
    return format_ ? format_ : fromPath;
  }

  static std::string_view nameOf(OutputFormat format) {
    return outputFormatNames()[static_cast<std::size_t>(format)].first;
  }

  InputOptions input_;
  DisplayOptions display_;
  std::optional<ui::DynamicTypeSize> textSize_ = ui::DynamicTypeSize::large;
  PresentationChoice presentation_ = PresentationChoice::all;
  AppearanceChoice appearance_ = AppearanceChoice::light;
  std::vector<std::pair<std::string_view, const DeviceProfile*>> devices_;
  const DeviceProfile* device_ = &defaultDeviceProfile();
  int scale_ = 3;
  std::optional<OutputFormat> format_;
  std::string output_;
};

}  // namespace

std::unique_ptr<Command> renderCommand() {
  return std::make_unique<RenderCommand>();
}

}  // namespace host
