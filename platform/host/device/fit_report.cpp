#include "platform/host/device/fit_report.hpp"

#include "platform/coding/json_writer.hpp"
#include "platform/ui/render/appearance.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace host {
namespace {

// One decimal, as people read ratios and points: "2.2", "160".
std::string decimal(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  std::string out = text;
  if (out.ends_with(".0")) out.resize(out.size() - 2);
  return out;
}

std::string jsonQuoted(std::string_view text) {
  std::string out;
  coding::JsonWriter(out).string(text);
  return out;
}

using ui::render::Appearance;
using ui::render::RGBA;

constexpr std::array<Appearance, 2> appearances{Appearance::light, Appearance::dark};

double luminance(const RGBA& colour) {
  const auto linear = [](double c) {
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * linear(colour.red) + 0.7152 * linear(colour.green) + 0.0722 * linear(colour.blue);
}

std::string colourName(const RGBA& colour) {
  const auto byte = [](double c) {
    return static_cast<int>(std::lround(std::clamp(c, 0.0, 1.0) * 255));
  };
  const int r = byte(colour.red), g = byte(colour.green), b = byte(colour.blue);
  if (r == 255 && g == 255 && b == 255) return "white";
  if (r == 0 && g == 0 && b == 0) return "black";
  char hex[8];
  std::snprintf(hex, sizeof hex, "#%02x%02x%02x", r, g, b);
  return hex;
}

std::string styleName(const ui::ShapeStyle& style) {
  if (const auto* colour = std::get_if<ui::Color>(&style)) {
    std::string name = colour->description();
    return name.starts_with('.') ? name.substr(1) : name;
  }
  return std::get<ui::HierarchicalShapeStyle>(style) == ui::HierarchicalShapeStyle::secondary
             ? "secondary text"
             : "primary text";
}

// Walks a laid-out content, keeping the colour behind each node in both appearances.
class TextCollector {
 public:
  TextCollector(const Scene& scene, std::vector<TextFit>& out) : scene_(scene), out_(out) {}

  void collect(const ui::layout::LayoutNode& node) {
    std::array<RGBA, 2> behind{backdrop(scene_, Appearance::light),
                               backdrop(scene_, Appearance::dark)};
    visit(node, behind);
  }

 private:
  // The island draws its content in the dark appearance whatever the phone's.
  Appearance drawn(Appearance appearance) const { return contentAppearance(scene_, appearance); }

  void visit(const ui::layout::LayoutNode& node, std::array<RGBA, 2> behind) {
    if (std::holds_alternative<ui::layout::Background>(node.payload) && node.children.size() == 2) {
      if (const auto* shape = std::get_if<ui::layout::Shape>(&node.children[0].payload)) {
        const ui::ShapeStyle style = shape->fill.value_or(ui::HierarchicalShapeStyle::primary);
        for (std::size_t i = 0; i < appearances.size(); ++i) {
          behind[i] =
              ui::render::over(ui::render::resolve(style, drawn(appearances[i])), behind[i]);
        }
      }
      visit(node.children[1], behind);
      return;
    }
    if (const auto* text = std::get_if<ui::layout::Text>(&node.payload)) add(node, *text, behind);
    for (const auto& child : node.children) visit(child, behind);
  }

  void add(const ui::layout::LayoutNode& node, const ui::layout::Text& text,
           const std::array<RGBA, 2>& behind) {
    TextFit fit;
    fit.text = text.source;
    fit.font = text.font.description();
    fit.lines = text.lines.size();
    fit.lineLimit = text.lineLimit;
    fit.scale = text.scale;
    fit.truncated = text.truncated;
    fit.offered = text.offeredWidth;
    fit.width = node.frame.width;
    fit.missingCharacters = text.missingCharacters;
    fit.colour = styleName(text.foreground);
    fit.platformColour = std::holds_alternative<ui::HierarchicalShapeStyle>(text.foreground);
    const ui::ResolvedFont font = ui::resolve(text.font);
    const double points = font.pointSize * text.scale;
    fit.large = points >= 18 || (points >= 14 && font.weight >= ui::Font::Weight::bold);
    double* contrasts[] = {&fit.contrastLight, &fit.contrastDark};
    std::string* backgrounds[] = {&fit.backgroundLight, &fit.backgroundDark};
    for (std::size_t i = 0; i < appearances.size(); ++i) {
      const RGBA ink =
          ui::render::over(ui::render::resolve(text.foreground, drawn(appearances[i])), behind[i]);
      *contrasts[i] = contrastRatio(ink, behind[i]);
      *backgrounds[i] = colourName(behind[i]);
    }
    out_.push_back(std::move(fit));
  }

  const Scene& scene_;
  std::vector<TextFit>& out_;
};

}  // namespace

double contrastRatio(const RGBA& a, const RGBA& b) {
  const double la = luminance(a);
  const double lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

FitReport fitReport(const ActivityPresentations& activity, Presentation presentation,
                    const DeviceProfile& device, const ui::layout::TextMeasurer& measurer,
                    const ui::layout::Environment& environment) {
  const Scene scene = layOutScene(activity, presentation, device, measurer, environment);
  FitReport report;
  report.presentation = presentation;
  report.device = scene.device->name;
  report.shown = scene.shown;
  // The Lock Screen presentation follows the text size wherever it is shown; the island's views
  // keep the default.
  const bool followsTextSize =
      presentation == Presentation::lockScreen || presentation == Presentation::standBy ||
      presentation == Presentation::standByNight || presentation == Presentation::alwaysOn;
  report.textSize = followsTextSize ? environment.typeSize : ui::DynamicTypeSize::large;
  if (!scene.shown) return report;
  std::vector<const Scene::Content*> contents;
  for (const auto& content : scene.contents) contents.push_back(&content);
  // The compact island lays out both sides; each is its own presentation here.
  if (presentation == Presentation::compactLeading && contents.size() == 2) contents.pop_back();
  if (presentation == Presentation::compactTrailing && contents.size() == 2) {
    contents.erase(contents.begin());
  }
  if (presentation == Presentation::expanded) {
    // The regions stack below the camera inside the island's margins.
    report.region = {device.expandedWidth, presentationMaxHeight};
    double width = 0;
    double height = cameraHeight + 2 * expandedMargin;
    for (const auto* content : contents) {
      width = std::max(width, content->node.frame.width);
      height += content->node.frame.height;
    }
    report.size = {width + 2 * expandedMargin, height};
  } else {
    // Side by side (the Smart Stack, the dashboard), each content has a region of its own: the
    // report gives the largest, and clips where either does.
    for (const auto* content : contents) {
      report.region.width = std::max(report.region.width, content->region.width);
      report.region.height = std::max(report.region.height, content->region.height);
      report.size.width = std::max(report.size.width, content->node.frame.width);
      report.size.height = std::max(report.size.height, content->node.frame.height);
    }
  }
  // A millionth of a point is rounding, not content.
  constexpr double slack = 1e-6;
  report.clipped = report.size.width > report.region.width + slack ||
                   report.size.height > report.region.height + slack;
  for (const auto* content : contents) {
    report.clipped = report.clipped || content->node.frame.width > content->region.width + slack ||
                     content->node.frame.height > content->region.height + slack;
  }
  TextCollector collector(scene, report.texts);
  for (const auto* content : contents) collector.collect(content->node);
  return report;
}

std::string findingPlace(const FitReport& report) {
  std::string where =
      std::string(report.device) + " " + std::string(presentationName(report.presentation));
  if (report.textSize != ui::DynamicTypeSize::large) {
    where += " at ";
    where += ui::dynamicTypeSizeName(report.textSize);
  }
  return where;
}

std::vector<std::string> fitFindings(const FitReport& report) {
  Findings findings = sortedFindings(report);
  findings.actionable.insert(findings.actionable.end(), findings.advice.begin(),
                             findings.advice.end());
  return findings.actionable;
}

Findings sortedFindings(const FitReport& report, bool cutsAndClips) {
  Findings findings;
  std::vector<std::string>& lines = findings.actionable;
  const std::string where = findingPlace(report);
  if (!report.shown) {
    lines.push_back(where + ": not shown: this device has no Dynamic Island");
    return findings;
  }
  for (const TextFit& text : report.texts) {
    std::string what = jsonQuoted(text.text);
    if (text.truncated && !cutsAndClips) {
      what.clear();
    } else if (text.truncated) {
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
  for (const TextFit& text : report.texts) {
    if (text.missingCharacters.empty()) continue;
    std::string line = where + ": " + jsonQuoted(text.text) + " has characters no font draws:";
    for (std::size_t i = 0; i < text.missingCharacters.size(); ++i) {
      char code[16];
      std::snprintf(code, sizeof code, " U+%04X", static_cast<unsigned>(text.missingCharacters[i]));
      line += (i > 0 ? "," : "") + std::string(code);
    }
    lines.push_back(line + " (drawn as boxes)");
  }
  if (report.clipped && cutsAndClips) {
    std::string line = where + ": the presentation needs " + decimal(report.size.width) + " x " +
                       decimal(report.size.height) + " pt and is cut at " +
                       decimal(report.region.width) + " x " + decimal(report.region.height);
    lines.push_back(std::move(line));
  }
  constexpr const char* appearanceNames[] = {"light", "dark"};
  // By appearance: each shortfall of the platform's colours ("secondary text on white has
  // contrast 3.4:1 ..."), with the texts it concerns.
  std::array<std::vector<std::pair<std::string, std::vector<std::string>>>, 2> advice;
  for (const TextFit& text : report.texts) {
    // A text that draws nothing (an empty time left, say) cannot be hard to read.
    if (std::all_of(text.text.begin(), text.text.end(),
                    [](char c) { return c == ' ' || c == '\t' || c == '\n'; })) {
      continue;
    }
    const double contrasts[] = {text.contrastLight, text.contrastDark};
    const std::string* backgrounds[] = {&text.backgroundLight, &text.backgroundDark};
    for (std::size_t i = 0; i < 2; ++i) {
      if (roundedTo(contrasts[i], 1) >= text.contrastNeeded()) continue;
      const std::string how = text.colour + " on " + *backgrounds[i] + " has contrast " +
                              decimal(contrasts[i]) + ":1 (needs " +
                              decimal(text.contrastNeeded()) + ":1)";
      if (!text.platformColour) {
        lines.push_back(where + " (" + appearanceNames[i] + "): " + jsonQuoted(text.text) + " in " +
                        how);
        continue;
      }
      // The platform's own colour: one line per appearance, each kind of shortfall once.
      auto& group = advice[i];
      auto found = std::find_if(group.begin(), group.end(),
                                [&](const auto& entry) { return entry.first == how; });
      if (found == group.end()) found = group.insert(group.end(), {how, {}});
      found->second.push_back(jsonQuoted(text.text));
    }
  }
  for (std::size_t i = 0; i < 2; ++i) {
    if (advice[i].empty()) continue;
    std::string line = where + " (" + appearanceNames[i] + "): the platform's ";
    for (std::size_t g = 0; g < advice[i].size(); ++g) {
      const auto& [how, texts] = advice[i][g];
      if (g > 0) line += "; its ";
      line += how + ", in " + std::to_string(texts.size()) +
              (texts.size() == 1 ? " text: " : " texts: ");
      for (std::size_t t = 0; t < texts.size(); ++t) line += (t > 0 ? ", " : "") + texts[t];
    }
    findings.advice.push_back(std::move(line));
  }
  return findings;
}

Findings textSizeFindings(std::span<const FitReport> bySize) {
  const FitReport& atDefault = bySize[static_cast<std::size_t>(ui::DynamicTypeSize::large)];
  const Findings others = sortedFindings(atDefault, false);
  Findings findings;
  std::vector<std::string>& lines = findings.actionable;
  const std::string where =
      std::string(atDefault.device) + " " + std::string(presentationName(atDefault.presentation));
  const auto sizeName = [&](std::size_t i) {
    return std::string(ui::dynamicTypeSizeName(bySize[i].textSize));
  };
  for (std::size_t t = 0; t < atDefault.texts.size(); ++t) {
    for (std::size_t i = 0; i < bySize.size(); ++i) {
      if (t >= bySize[i].texts.size() || !bySize[i].texts[t].truncated) continue;
      const TextFit& cut = bySize[i].texts[t];
      lines.push_back(where + ": " + jsonQuoted(cut.text) + " is " +
                      (i == 0 ? "truncated at every text size"
                              : "first truncated at " + sizeName(i) + " (it fits up to " +
                                    sizeName(i - 1) + ")") +
                      ", in the " + decimal(cut.offered) + " pt it is offered");
      break;
    }
  }
  for (std::size_t i = 0; i < bySize.size(); ++i) {
    if (!bySize[i].clipped) continue;
    lines.push_back(where + ": first clipped at " + sizeName(i) + ": it needs " +
                    decimal(bySize[i].size.height) + " pt of height, cut at " +
                    decimal(bySize[i].region.height));
    break;
  }
  lines.insert(lines.end(), others.actionable.begin(), others.actionable.end());
  findings.advice = others.advice;
  return findings;
}

double roundedTo(double value, int digits) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", digits, value);
  return std::strtod(text, nullptr);
}

}  // namespace host
