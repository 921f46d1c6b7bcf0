#include "platform/coding/json_writer.hpp"
#include "platform/host/choice_option.hpp"
#include "platform/host/command_input.hpp"
#include "platform/host/device/fit_report.hpp"
#include "platform/host/presentations.hpp"
#include "platform/ui/render/pango_text_measurer.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ostream>

namespace host {
namespace {

using coding::JsonWriter;

// One decimal, as people read ratios and points: "2.2", "160".
std::string decimal(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  std::string out = text;
  if (out.ends_with(".0")) out.resize(out.size() - 2);
  return out;
}

// The double nearest the value written with `digits` decimals, so that JSON shows "5.8" and not
// the binary neighbour of a product.
double rounded(double value, int digits) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", digits, value);
  return std::strtod(text, nullptr);
}

std::string jsonQuoted(std::string_view text) {
  std::string out;
  JsonWriter(out).string(text);
  return out;
}

// The findings of one report, one line each, in the words a sender reads.
std::vector<std::string> findings(const FitReport& report) {
  std::vector<std::string> lines;
  const std::string where =
      std::string(report.device) + " " + std::string(presentationName(report.presentation));
  for (const TextFit& text : report.texts) {
    std::string what = jsonQuoted(text.text);
    if (text.truncated) {
      what +=
          " is truncated to " + std::to_string(text.lines) + (text.lines == 1 ? " line" : " lines");
      if (text.scale < 1) what += " at " + decimal(text.scale * 100) + "% of its size";
      what += " in the " + decimal(text.offered) + " pt it is offered";
    } else if (text.scale < 1) {
      what += " is shrunk to " + decimal(text.scale * 100) + "% of its size to fit";
    } else if (text.lines > 1 && report.clipped) {
      what += " wraps to " + std::to_string(text.lines) + " lines";
    } else {
      what.clear();
    }
    if (!what.empty()) lines.push_back(where + ": " + what);
  }
  if (report.clipped) {
    std::string line = where + ": the presentation needs " + decimal(report.size.width) + " x " +
                       decimal(report.size.height) + " pt and is cut at " +
                       decimal(report.region.width) + " x " + decimal(report.region.height);
    lines.push_back(std::move(line));
  }
  for (const TextFit& text : report.texts) {
    const double contrasts[] = {text.contrastLight, text.contrastDark};
    const std::string* backgrounds[] = {&text.backgroundLight, &text.backgroundDark};
    const char* names[] = {"light", "dark"};
    for (int i = 0; i < 2; ++i) {
      if (rounded(contrasts[i], 1) >= text.contrastNeeded()) continue;
      lines.push_back(where + " (" + names[i] + "): " + jsonQuoted(text.text) + " in " +
                      text.colour + " on " + *backgrounds[i] + " has contrast " +
                      decimal(contrasts[i]) + ":1 (needs " + decimal(text.contrastNeeded()) +
                      ":1)");
    }
  }
  return lines;
}

void writeReport(JsonWriter& writer, const FitReport& report) {
  const auto name = [&](std::string_view key) {
    writer.string(key);
    writer.colon();
  };
  const auto pair = [&](double a, double b) {
    writer.beginArray();
    writer.number(rounded(a, 2));
    writer.comma();
    writer.number(rounded(b, 2));
    writer.endArray();
  };
  writer.beginObject();
  name("device");
  writer.string(report.device);
  writer.comma();
  name("presentation");
  writer.string(presentationName(report.presentation));
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
    writer.number(rounded(text.scale, 3));
    writer.comma();
    name("truncated");
    writer.boolean(text.truncated);
    writer.comma();
    name("offered");
    writer.number(rounded(text.offered, 2));
    writer.comma();
    name("width");
    writer.number(rounded(text.width, 2));
    writer.comma();
    name("contrast");
    writer.beginObject();
    name("light");
    writer.number(rounded(text.contrastLight, 1));
    writer.comma();
    name("dark");
    writer.number(rounded(text.contrastDark, 1));
    writer.endObject();
    writer.endObject();
  }
  writer.endArray();
  writer.endObject();
}

class CheckCommand final : public Command {
 public:
  CheckCommand() {
    for (const DeviceProfile& profile : deviceProfiles()) {
      devices_.emplace_back(profile.name, &profile);
    }
    devices_.emplace_back("all", nullptr);
  }

  CLI::App* add(CLI::App& app) override {
    CLI::App* command = app.add_subcommand(
        "check", "Say what each presentation cuts, shrinks, clips or makes hard to read");
    input_.addTo(*command);
    addChoice<const DeviceProfile*>(*command, "--device", device_, devices_,
                                    "Which phone (default all)");
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
    std::vector<const DeviceProfile*> devices;
    if (device_ != nullptr) {
      devices.push_back(device_);
    } else {
      for (const DeviceProfile& profile : deviceProfiles()) devices.push_back(&profile);
    }

    bool faulty = false;
    std::size_t checked = 0;
    std::string json;
    JsonWriter writer(json, JsonWriter::Style::spaced);
    if (input->timeline) writer.beginArray();
    for (const ActivityEvent& event : input->events) {
      if (!event.contentState || !event.rebuild) continue;
      const ActivityPresentations activity = buildPresentations(event);
      std::vector<FitReport> reports;
      for (const DeviceProfile* device : devices) {
        for (Presentation presentation : allPresentations) {
          reports.push_back(fitReport(activity, presentation, *device, measurer));
          const FitReport& report = reports.back();
          faulty = faulty || report.clipped ||
                   std::any_of(report.texts.begin(), report.texts.end(),
                               [](const TextFit& fit) { return fit.truncated; });
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
        std::size_t count = 0;
        for (const FitReport& report : reports) {
          for (const std::string& line : findings(report)) {
            context.out << prefix << line << '\n';
            ++count;
          }
        }
        if (count == 0) {
          context.out << prefix << "no findings: every text fits and reads on every presentation"
                      << (devices.size() > 1 ? " of both devices" : "") << '\n';
        }
      }
      ++checked;
    }
    if (input->timeline) writer.endArray();
    if (json_) context.out << json << '\n';
    if (checked == 0) {
      context.err << "error: usage: the input holds no content state, so it has no presentations\n";
      return exitUsage;
    }
    return strict_ && faulty ? exitRejected : exitAccepted;
  }

 private:
  InputOptions input_;
  std::vector<std::pair<std::string_view, const DeviceProfile*>> devices_;
  const DeviceProfile* device_ = nullptr;
  bool json_ = false;
  bool strict_ = false;
};

}  // namespace

std::unique_ptr<Command> checkCommand() {
  return std::make_unique<CheckCommand>();
}

}  // namespace host
