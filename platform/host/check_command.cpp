#include "platform/coding/json_writer.hpp"
#include "platform/host/choice_option.hpp"
#include "platform/host/command_input.hpp"
#include "platform/host/device/fit_report.hpp"
#include "platform/host/display_options.hpp"
#include "platform/host/presentation_choice.hpp"
#include "platform/ui/render/pango_text_measurer.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ostream>

namespace host {
namespace {

using coding::JsonWriter;

void writeReport(JsonWriter& writer, const FitReport& report) {
  const auto name = [&](std::string_view key) {
    writer.string(key);
    writer.colon();
  };
  const auto pair = [&](double a, double b) {
    writer.beginArray();
    writer.number(roundedTo(a, 2));
    writer.comma();
    writer.number(roundedTo(b, 2));
    writer.endArray();
  };
  writer.beginObject();
  name("device");
  writer.string(report.device);
  writer.comma();
  name("presentation");
  writer.string(presentationName(report.presentation));
  writer.comma();
  name("shown");
  writer.boolean(report.shown);
  writer.comma();
  name("textSize");
  writer.string(ui::dynamicTypeSizeName(report.textSize));
  writer.comma();
  name("size");
  pair(report.size.width, report.size.height);
  writer.comma();
  name("region");
  pair(report.region.width, report.region.height);
  writer.comma();
  name("clipped");
  writer.boolean(report.clipped);
  writer.comma();
  name("texts");
  writer.beginArray();
  for (std::size_t i = 0; i < report.texts.size(); ++i) {
    const TextFit& text = report.texts[i];
    if (i > 0) writer.comma();
    writer.beginObject();
    name("text");
    writer.string(text.text);
    writer.comma();
    name("font");
    writer.string(text.font);
    writer.comma();
    name("lines");
    writer.number(static_cast<double>(text.lines));
    writer.comma();
    name("lineLimit");
    if (text.lineLimit) {
      writer.number(*text.lineLimit);
    } else {
      writer.null();
    }
    writer.comma();
    name("scale");
    writer.number(roundedTo(text.scale, 3));
    writer.comma();
    name("truncated");
    writer.boolean(text.truncated);
    writer.comma();
    name("platformColour");
    writer.boolean(text.platformColour);
    writer.comma();
    name("missingCharacters");
    writer.beginArray();
    for (std::size_t c = 0; c < text.missingCharacters.size(); ++c) {
      if (c > 0) writer.comma();
      writer.number(static_cast<double>(text.missingCharacters[c]));
    }
    writer.endArray();
    writer.comma();
    name("offered");
    writer.number(roundedTo(text.offered, 2));
    writer.comma();
    name("width");
    writer.number(roundedTo(text.width, 2));
    writer.comma();
    name("contrast");
    writer.beginObject();
    name("light");
    writer.number(roundedTo(text.contrastLight, 1));
    writer.comma();
    name("dark");
    writer.number(roundedTo(text.contrastDark, 1));
    writer.endObject();
    writer.endObject();
  }
  writer.endArray();
  writer.endObject();
}

class CheckCommand final : public Command {
 public:
  CheckCommand() {
    for (const DeviceProfile& profile : allDeviceProfiles()) {
      devices_.emplace_back(profile.name, &profile);
    }
    devices_.emplace_back("all", nullptr);
  }

  CLI::App* add(CLI::App& app) override {
    CLI::App* command = app.add_subcommand(
        "check", "Say what each presentation cuts, shrinks, clips or makes hard to read");
    input_.addTo(*command);
    addChoice(*command, "--presentation", presentation_, presentationChoices(),
              "Which presentations (default all: the phone's five)");
    addChoice<const DeviceProfile*>(*command, "--device", device_, devices_,
                                    "Which device (default all)");
    display_.addTo(*command);
    addChoice<std::optional<ui::DynamicTypeSize>>(
        *command, "--text-size", textSize_, textSizeChoices(true),
        "The phone's text size (default Large); all says where each text is first cut");
    command->add_flag("--advice", advice_,
                      "Also show the contrast of the platform's own text colours");
    command->add_flag("--json", json_, "Print the reports as JSON");
    command->add_flag("--strict", strict_, "Exit 1 when anything is truncated or clipped");
    return command;
  }

  ExitStatus run(const CommandContext& context) const override {
    const auto input = readCommandInput(input_, context, RejectionReport::text);
    if (!input) return input.error();
    printWarnings(input->warnings, context.err);
    const ui::render::TextSystem text;
    const ui::render::PangoTextMeasurer measurer(text);
    image::ImageCache images;
    std::vector<const DeviceProfile*> devices;
    if (device_ != nullptr) {
      devices.push_back(device_);
    } else {
      for (const DeviceProfile& profile : allDeviceProfiles()) devices.push_back(&profile);
    }
    const std::vector<Presentation> presentations = presentationsOf(presentation_);
    const bool everySize = !textSize_.has_value();

    bool faulty = false;
    std::size_t checked = 0;
    std::size_t adviceHeld = 0;
    std::string json;
    JsonWriter writer(json, JsonWriter::Style::spaced);
    if (input->timeline) writer.beginArray();
    for (const ActivityEvent& event : input->events) {
      if (!event.contentState || !event.rebuild) continue;
      const ActivityPresentations activity = buildPresentations(event, images);
      std::vector<FitReport> reports;
      std::vector<std::string> actionable;
      std::vector<std::string> advice;
      for (const DeviceProfile* device : devices) {
        for (Presentation presentation : presentations) {
          // Every device covers the devices that show the presentation; one named says what it
          // does not show, or takes the surface's own device.
          if (device_ == nullptr &&
              (!shows(*device, presentation) || &surfaceDevice(presentation, *device) != device)) {
            continue;
          }
          // The island keeps the default text size: one report of it is enough.
          const bool growing =
              everySize && presentationView(activity, presentation) == &activity.lockScreen;
          const std::size_t first = reports.size();
          for (ui::DynamicTypeSize size : ui::allDynamicTypeSizes) {
            const ui::DynamicTypeSize asked = textSize_.value_or(ui::DynamicTypeSize::large);
            if (!growing && size != asked) continue;
            reports.push_back(
                fitReport(activity, presentation, *device, measurer, display_.environment(size)));
            const FitReport& report = reports.back();
            faulty = faulty || report.clipped ||
                     std::any_of(report.texts.begin(), report.texts.end(),
                                 [](const TextFit& fit) { return fit.truncated; });
          }
          const std::span<const FitReport> made(reports.begin() + static_cast<long>(first),
                                                reports.end());
          // At every size, the Lock Screen says where each text is first cut.
          const Findings findings = growing ? textSizeFindings(made) : sortedFindings(made.front());
          actionable.insert(actionable.end(), findings.actionable.begin(),
                            findings.actionable.end());
          advice.insert(advice.end(), findings.advice.begin(), findings.advice.end());
        }
      }
      if (json_) {
        if (input->timeline) {
          if (checked > 0) writer.comma();
          writer.beginObject();
          writer.string("line");
          writer.colon();
          writer.number(static_cast<double>(event.line));
          writer.comma();
          writer.string("results");
          writer.colon();
        }
        writer.beginArray();
        for (std::size_t i = 0; i < reports.size(); ++i) {
          if (i > 0) writer.comma();
          writeReport(writer, reports[i]);
        }
        writer.endArray();
        if (input->timeline) writer.endObject();
      } else {
        const std::string prefix =
            input->timeline ? "line " + std::to_string(event.line) + ": " : std::string();
        for (const std::string& line : actionable) context.out << prefix << line << '\n';
        if (advice_) {
          for (const std::string& line : advice) context.out << prefix << line << '\n';
        } else {
          adviceHeld += advice.size();
        }
        if (actionable.empty() && (advice.empty() || !advice_)) {
          context.out << prefix << "no findings: every text fits"
                      << (advice.empty() ? " and reads" : "") << " on every presentation"
                      << (devices.size() > 1 ? " of every device" : "") << '\n';
        }
      }
      ++checked;
    }
    if (input->timeline) writer.endArray();
    if (json_) context.out << json << '\n';
    if (adviceHeld > 0) {
      context.out << "(" << adviceHeld << (adviceHeld == 1 ? " line" : " lines")
                  << " of advice on the platform's own text colours: --advice shows "
                  << (adviceHeld == 1 ? "it" : "them") << ")\n";
    }
    if (checked == 0) {
      context.err << "error: usage: the input holds no content state, so it has no presentations\n";
      return exitUsage;
    }
    return strict_ && faulty ? exitRejected : exitAccepted;
  }

 private:
  InputOptions input_;
  DisplayOptions display_;
  PresentationChoice presentation_ = PresentationChoice::all;
  std::vector<std::pair<std::string_view, const DeviceProfile*>> devices_;
  const DeviceProfile* device_ = nullptr;
  std::optional<ui::DynamicTypeSize> textSize_ = ui::DynamicTypeSize::large;
  bool advice_ = false;
  bool json_ = false;
  bool strict_ = false;
};

}  // namespace

std::unique_ptr<Command> checkCommand() {
  return std::make_unique<CheckCommand>();
}

}  // namespace host
