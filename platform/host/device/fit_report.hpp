#pragma once

#include "platform/host/device/scene.hpp"

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace host {

// How one text of a presentation came out.
struct TextFit {
  std::string text;
  std::string font;  // as the view tree spells it: ".subheadline.weight(.semibold)"
  std::size_t lines = 0;
  std::optional<int> lineLimit;
  double scale = 1;
  bool truncated = false;
  double offered = 0;                       // the width it was offered
  double width = 0;                         // the width it took
  std::vector<char32_t> missingCharacters;  // drawn as boxes: no font of ours has them
  std::string colour;                       // "green", "secondary text", ...
  // Drawn in the platform's own hierarchical style (primary or secondary text), which the
  // activity does not choose, rather than in a colour of its own.
  bool platformColour = false;
  // WCAG 2 contrast of the drawn colour, after opacity, over what is behind it.
  double contrastLight = 0;
  double contrastDark = 0;
  // Text of 18 points or more, or 14 points and bold, may have less contrast (3:1, not 4.5:1).
  bool large = false;
  std::string backgroundLight;  // "white", "black", "#1c2439"
  std::string backgroundDark;

  double contrastNeeded() const { return large ? 3 : 4.5; }
};

// What the phone would cut, shrink or make hard to read in one presentation on one device.
struct FitReport {
  Presentation presentation = Presentation::lockScreen;
  std::string_view device;
  // False where the device has no such presentation (no Dynamic Island): nothing else is set.
  bool shown = true;
  // The text size the presentation was laid out at (the island always keeps the default).
  ui::DynamicTypeSize textSize = ui::DynamicTypeSize::large;
  ui::layout::Size size;    // what the content asked for
  ui::layout::Size region;  // what the phone gives it
  bool clipped = false;
  std::vector<TextFit> texts;
};

FitReport fitReport(const ActivityPresentations& activity, Presentation presentation,
                    const DeviceProfile& device, const ui::layout::TextMeasurer& measurer,
                    const ui::layout::Environment& environment = {});

// The findings of one report, one line each, in the words a sender reads. What the sender can act
// on comes first: texts truncated or shrunk, a presentation clipped, characters no font has, the
// activity's own colours too faint. Advice on the platform's own text colours, the same on every
// activity, is folded into one line per appearance.
struct Findings {
  std::vector<std::string> actionable;
  std::vector<std::string> advice;
};
// Without `cutsAndClips`, leaves out the texts truncated and the presentation clipped, which
// textSizeFindings says at every size instead.
Findings sortedFindings(const FitReport& report, bool cutsAndClips = true);
// The findings of one presentation on one device laid out at every text size, smallest first:
// where each text is first truncated and the presentation first clipped, then the default size's
// other findings.
Findings textSizeFindings(std::span<const FitReport> bySize);
// Both kinds, the actionable first.
std::vector<std::string> fitFindings(const FitReport& report);

// "iphone-15-pro lockscreen", with " at AX3" where the text size is not the default.
std::string findingPlace(const FitReport& report);

// The double nearest the value written with `digits` decimals, as reports state figures: "5.8",
// not the binary neighbour of a product.
double roundedTo(double value, int digits);

// WCAG 2 contrast ratio of two opaque colours, 1 to 21.
double contrastRatio(const ui::render::RGBA& a, const ui::render::RGBA& b);

}  // namespace host
