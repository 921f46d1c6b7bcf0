// Layout on the deterministic fake measurer: the stack algorithm, text fitting, the modifiers and
// the environment, hostile numbers, and every presentation of the golden states as the host
// proposes them, compared with reviewed layout dumps under tests/golden/layout/.
#include "platform/ui/layout/layout.hpp"
#include "platform/coding/json_decoder.hpp"
#include "platform/foundation/base64.hpp"
#include "support/fake_text_measurer.hpp"
#include "support/sample_icons.hpp"
#include "tolvex/download/download_dynamic_island.hpp"
#include "tolvex/download/download_lock_screen_view.hpp"
#include "tolvex/presentation/app_icon.hpp"
#include "tolvex/sign/sign_dynamic_island.hpp"
#include "tolvex/sign/sign_lock_screen_view.hpp"

#include <gtest/gtest.h>

#include <spng.h>
#include "support/golden.hpp"

#include <array>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

namespace {

namespace L = ui::layout;
namespace fs = std::filesystem;
using ui::HorizontalAlignment;
using ui::View;

constexpr std::optional<double> nil = std::nullopt;
constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr auto center = ui::VerticalAlignment::center;

const L::FakeTextMeasurer fake;

L::LayoutNode lay(const View& view, L::ProposedSize offer, const L::Environment& env = {}) {
  return L::layout(view, offer, fake, env);
}

// A box that takes exactly its size whatever it is offered.
View box(double width, double height) {
  return ui::RoundedRectangle{}.fill(ui::Color::blue).frame(width, height);
}

// Text at 10 points: 6 wide per code point, 12 high per line.
// The environment a host sets, as `set` leaves it.
template <class Set>
L::Environment host(Set set) {
  L::Environment environment;
  set(environment);
  return environment;
}

View text10(std::string_view text) {
  return ui::Text(text).font(ui::Font::system(10));
}

image::UIImage wideImage() {  // 3 x 2 pixels
  return *tolvex::decodeAppIcon(foundation::String(samples::wideIcon), nullptr);
}

void collect(const L::LayoutNode& node, std::vector<const L::LayoutNode*>& out) {
  out.push_back(&node);
  for (const auto& child : node.children) collect(child, out);
}

std::vector<const L::LayoutNode*> allNodes(const L::LayoutNode& root) {
  std::vector<const L::LayoutNode*> nodes;
  collect(root, nodes);
  return nodes;
}

const L::LayoutNode* findText(const L::LayoutNode& root) {
  for (const L::LayoutNode* node : allNodes(root)) {
    if (std::holds_alternative<L::Text>(node->payload)) return node;
  }
  return nullptr;
}

// "(width, height): (x, y, width, height) ...": a node's size, then its children's frames.
std::string frames(const L::LayoutNode& root) {
  std::string out = root.frame.size().description() + ":";
  for (const auto& child : root.children) out += " " + child.frame.description();
  return out;
}

// "\"line\" \"line\" (width, height)", then " truncated" where the text was cut.
std::string lines(const std::vector<std::string>& lines, L::Size size, bool truncated) {
  std::string out;
  for (const auto& line : lines) out += ui::quoted(line) + " ";
  return out + size.description() + (truncated ? " truncated" : "");
}

bool finiteRect(const L::Rect& r) {
  return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) &&
         std::isfinite(r.height) && r.width >= 0 && r.height >= 0;
}

// The dump line of the first node with a length, scale or fraction that is no finite number or
// out of its range; empty when there is none.
std::string firstNonFinite(const L::LayoutNode& root) {
  for (const L::LayoutNode* node : allNodes(root)) {
    bool ok = finiteRect(node->frame);
    if (const auto* image = std::get_if<L::Image>(&node->payload)) {
      ok &= finiteRect(image->imageRect);
    }
    if (const auto* text = std::get_if<L::Text>(&node->payload)) {
      ok &= text->scale >= 0 && text->scale <= 1;
    }
    if (const auto* progress = std::get_if<L::Progress>(&node->payload)) {
      ok &= progress->fraction >= 0 && progress->fraction <= 1;
    }
    if (!ok) return L::dump(L::LayoutNode{node->frame, node->payload, {}});
  }
  return {};
}

struct Case {
  std::string name;
  View view;
  L::ProposedSize offer;
  std::string expected;
  L::Environment environment = {};
};

// --- The stack algorithm ---

TEST(Stacks, SizeAndPlaceTheirChildrenByThePublishedSteps) {
  const auto oneLine = [](std::string_view text) { return text10(text).lineLimit(1); };
  const std::string a20(20, 'a'), b20(20, 'b'), long60(60, 'l');
  const auto all = ui::EdgeSet::all;
  const Case cases[] = {
      {"fixed children at the given spacing, centred across",
       ui::HStack(center, 10, box(50, 20), box(30, 10)),
       {200, 100},
       "(90, 20): (0, 0, 50, 20) (60, 5, 30, 10)"},
      // Gaps.
      {"no spacing given: 8 between views, none beside a spacer, which takes what is left",
       ui::HStack(center, nil, box(10, 10), box(10, 10), ui::Spacer(), box(10, 10)),
       {100, 100},
       "(100, 10): (0, 0, 10, 10) (18, 0, 10, 10) (28, 5, 62, 0) (90, 0, 10, 10)"},
      {"a spacing given is kept beside a spacer; its minimum is 8, not the spacing; overflow",
       ui::HStack(center, 2, box(50, 20), ui::Spacer(), box(30, 20)),
       {60, 100},
       "(92, 20): (0, 0, 50, 20) (52, 10, 8, 0) (62, 0, 30, 20)"},
      {"a spacer keeps its own minimum",
       ui::HStack(center, nil, box(50, 20), ui::Spacer(20), box(30, 20)),
       {60, 100},
       "(100, 20): (0, 0, 50, 20) (50, 10, 20, 0) (70, 0, 30, 20)"},
      {"the vertical case: no gap beside a spacer, which grows downwards",
       ui::VStack(HorizontalAlignment::center, nil, box(10, 20), ui::Spacer(), box(10, 20)),
       {50, 100},
       "(10, 100): (0, 0, 10, 20) (5, 20, 0, 60) (0, 80, 10, 20)"},
      {"no offer along the axis: every child at its ideal, a spacer at its minimum",
       ui::HStack(center, nil, box(10, 10), ui::Spacer(), text10("ab")),
       {nil, nil},
       "(30, 12): (0, 1, 10, 10) (10, 6, 8, 0) (18, 0, 12, 12)"},
      // Order and shares: a plain spacer last, with its minimum kept back until then.
      {"a long text beside a spacer is offered the row less the spacer's minimum",
       ui::HStack(center, nil, oneLine(long60), ui::Spacer(6), text10("18%")),
       {347, nil},
       "(347, 12): (0, 0, 318, 12) (318, 6, 11, 0) (329, 0, 18, 12)"},
      {"with a spacing given, less the gaps too",
       ui::HStack(center, 8, oneLine(long60), ui::Spacer(6), text10("18%")),
       {347, nil},
       "(347, 12): (0, 0, 306, 12) (314, 6, 7, 0) (329, 0, 18, 12)"},
      {"a spacer in a frame is an ordinary view: 8 apart, sized with the text, stretching",
       ui::HStack(center, nil, oneLine(long60), ui::Spacer().frame(nil, 10)),
       {100, nil},
       "(100, 12): (0, 0, 42, 12) (50, 1, 50, 10)"},
      {"equally flexible spacers share the rest evenly",
       ui::HStack(center, 0, ui::Spacer(), box(20, 10), ui::Spacer()),
       {100, 50},
       "(100, 10): (0, 5, 40, 0) (40, 0, 20, 10) (60, 5, 40, 0)"},
      {"the less flexible text is sized first; the other wraps in what is left",
       ui::HStack(ui::VerticalAlignment::top, 0, text10("aaaaaaaaaa"), text10("bb")),
       {50, 100},
       "(48, 24): (0, 0, 36, 24) (36, 0, 12, 12)"},
      {"of two infinitely flexible views the one with the larger minimum goes first",
       ui::HStack(center, 0, ui::Spacer(10).frame(nil, 5), ui::Spacer(30).frame(nil, 5)),
       {50, nil},
       "(50, 5): (0, 0, 20, 5) (20, 0, 30, 5)"},
      {"a higher priority, seen through the environment, goes first, less the lower minimums",
       ui::HStack(center, nil, oneLine(a20).layoutPriority(1).foregroundStyle(ui::Color::red),
                  ui::Spacer(), oneLine(b20)),
       {100, nil},
       "(100, 12): (0, 0, 84, 12) (84, 6, 10, 0) (94, 0, 6, 12)"},
      {"a layout priority inside a padding counts for nothing",
       ui::HStack(center, nil, oneLine(a20).layoutPriority(1).padding(all, 0), ui::Spacer(),
                  oneLine(b20)),
       {100, nil},
       "(100, 12): (0, 0, 42, 12) (42, 6, 10, 0) (52, 0, 48, 12)"},
      // Placing.
      {"absent and empty children take no room and no spacing",
       ui::HStack(center, 10, std::optional<View>(), box(20, 10), View(ui::EmptyView{}),
                  box(20, 10)),
       {200, 50},
       "(50, 10): (0, 0, 20, 10) (20, 5, 0, 0) (30, 0, 20, 10)"},
      {"bottom alignment",
       ui::HStack(ui::VerticalAlignment::bottom, 0, box(10, 10), box(10, 30)),
       {100, 100},
       "(20, 30): (0, 20, 10, 10) (10, 0, 10, 30)"},
      {"trailing alignment",
       ui::VStack(HorizontalAlignment::trailing, 0, box(10, 10), box(30, 10)),
       {100, 100},
       "(30, 20): (20, 0, 10, 10) (0, 10, 30, 10)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(frames(lay(c.view, c.offer)), c.expected) << c.name;
  }
}

// --- Text ---

TEST(Texts, ShrinkWithinTheirLimitThenTruncateOrWrap) {
  const auto headline = [](std::string_view text) {  // 10.2 per code point, 22 per line
    return ui::Text(text).font(ui::Font::headline);
  };
  const Case cases[] = {
      {"fits at full size",
       headline("Demo").lineLimit(1).minimumScaleFactor(0.8),
       {100, nil},
       "x1 \"Demo\" (40.8, 22)"},
      {"shrinks exactly enough to keep one line",
       headline("abcdefghij").lineLimit(1).minimumScaleFactor(0.8),
       {90, nil},
       "x0.8823529411764706 \"abcdefghij\" (90, 19.411765)"},
      {"truncates at the minimum scale when shrinking is not enough",
       headline("abcdefghij").lineLimit(1).minimumScaleFactor(0.8),
       {60, nil},
       "x0.8 \"abcdef\u2026\" (57.12, 17.6) truncated"},
      {"without a minimum scale factor, truncates at full size",
       headline("abcdefghij").lineLimit(1),
       {60, nil},
       "x1 \"abcd\u2026\" (51, 22) truncated"},
      {"a minimum scale factor that is no number counts as 1",
       headline("abcdefghij").lineLimit(1).minimumScaleFactor(nan),
       {60, nil},
       "x1 \"abcd\u2026\" (51, 22) truncated"},
      {"shrinks a two-line text until both lines hold it",
       text10("aaaa bbbb").lineLimit(2).minimumScaleFactor(0.5),
       {18, nil},
       "x0.6666666666666666 \"aaaa\" \"bbbb\" (16, 16)"},
      {"a minimum scale factor of 0 may shrink a lot",
       text10("abcdefghij").lineLimit(1).minimumScaleFactor(0),
       {6, nil},
       "x0.1 \"abcdefghij\" (6, 1.2)"},
      {"wraps at word boundaries without a line limit",
       text10("hello world"),
       {36, nil},
       "x1 \"hello\" \"world\" (30, 24)"},
      {"no width offered: one line per paragraph",
       text10("hello world\nhi"),
       {nil, nil},
       "x1 \"hello world\" \"hi\" (66, 24)"},
      {"an infinite width is no width",
       text10("hello world"),
       {inf, nil},
       "x1 \"hello world\" (66, 12)"},
      {"the height offered does not cut a text off",
       text10("hello world"),
       {36, 5},
       "x1 \"hello\" \"world\" (30, 24)"},
      {"the limit reaches the text from an enclosing view",
       ui::VStack(HorizontalAlignment::leading, 0, text10("hello world")).lineLimit(1),
       {36, nil},
       "x1 \"hello\u2026\" (36, 12) truncated"},
      {"an inner lineLimit(nil) lifts an outer limit",
       ui::VStack(HorizontalAlignment::leading, 0, text10("hello world").lineLimit(nil))
           .lineLimit(1),
       {36, nil},
       "x1 \"hello\" \"world\" (30, 24)"},
      {"a line limit below 1 keeps one line",
       text10("hello world").lineLimit(0),
       {36, nil},
       "x1 \"hello\u2026\" (36, 12) truncated"},
  };
  for (const Case& c : cases) {
    const L::LayoutNode root = lay(c.view, c.offer);
    const L::LayoutNode* node = findText(root);
    ASSERT_NE(node, nullptr) << c.name;
    const auto& text = std::get<L::Text>(node->payload);
    EXPECT_EQ("x" + ui::numberText(text.scale) + " " +
                  lines(text.lines, node->frame.size(), text.truncated),
              c.expected)
        << c.name;
  }
}

// --- Modifiers, leaves and the environment, by their dumps ---

void expectDumps(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    EXPECT_EQ(L::dump(lay(c.view, c.offer, c.environment)), c.expected) << c.name;
  }
}

const std::string ab = R"(lines: ["ab"], font: .system(size: 10), scale: 1, foreground: .primary)";
const std::string blueBox = "RoundedRectangle(cornerRadius: 0, style: .circular), fill: .blue";

TEST(Modifiers, WrapAndPlaceTheirViews) {
  expectDumps({
      {"padding shrinks the offer and grows the answer",
       text10("ab").padding(ui::EdgeSet::all, 5),
       {100, 100},
       "Padding (0, 0, 22, 22)\n  Text (5, 5, 12, 12) " + ab + "\n"},
      {"padding by insets",
       text10("hello world").padding(ui::EdgeInsets{1, 3, 2, 4}),
       {43, nil},
       "Padding (0, 0, 37, 27)\n  Text (3, 1, 30, 24) lines: [\"hello\", \"world\"], font: "
       ".system(size: 10), scale: 1, foreground: .primary\n"},
      {"a frame answers its size and aligns its content",
       text10("ab").frame(40, 20, ui::Alignment::bottomTrailing),
       {100, 100},
       "Frame (0, 0, 40, 20)\n  Text (28, 8, 12, 12) " + ab + "\n"},
      {"a frame without a height answers the content's",
       text10("ab").frame(40, nil, ui::Alignment::leading),
       {100, 100},
       "Frame (0, 0, 40, 12)\n  Text (0, 0, 12, 12) " + ab + "\n"},
      {"content larger than its frame overflows it, centred",
       box(60, 10).frame(40, 20),
       {100, 100},
       "Frame (0, 0, 40, 20)\n  Frame (-10, 5, 60, 10)\n    Shape (-10, 5, 60, 10) " + blueBox +
           "\n"},
      {"a background is offered the decorated view's size",
       text10("ab")
           .padding(ui::EdgeSet::all, 4)
           .background(ui::Alignment::topLeading, ui::RoundedRectangle{4}.fill(ui::Color::red)),
       {100, 100},
       "Background (0, 0, 20, 20)\n"
       "  Shape (0, 0, 20, 20) RoundedRectangle(cornerRadius: 4, style: .circular), fill: .red\n"
       "  Padding (0, 0, 20, 20)\n    Text (4, 4, 12, 12) " +
           ab + "\n"},
      {"a smaller background is aligned in the decorated view",
       text10("ab").background(ui::Alignment::bottomTrailing, box(10, 5)),
       {100, 100},
       "Background (0, 0, 12, 12)\n  Frame (2, 7, 10, 5)\n    Shape (2, 7, 10, 5) " + blueBox +
           "\n  Text (0, 0, 12, 12) " + ab + "\n"},
      {"a clip shape takes its view's frame",
       box(30, 20).clipShape(ui::RoundedRectangle{5, ui::RoundedCornerStyle::continuous}),
       {100, 100},
       "Clip (0, 0, 30, 20) RoundedRectangle(cornerRadius: 5, style: .continuous)\n"
       "  Frame (0, 0, 30, 20)\n    Shape (0, 0, 30, 20) " +
           blueBox + "\n"},
      {"a fixed image is its pixel size",
       ui::Image(wideImage()),
       {100, 100},
       "Image (0, 0, 3, 2) uiImage: 3x2, mode: .stretch, imageRect: (0, 0, 3, 2)\n"},
      {"a resizable image keeps its pixel size where nothing is offered",
       ui::Image(wideImage()).resizable(),
       {50, nil},
       "Image (0, 0, 50, 2) uiImage: 3x2, mode: .stretch, imageRect: (0, 0, 50, 2)\n"},
      {"a tiled image",
       ui::Image(wideImage()).resizable({}, ui::ResizingMode::tile),
       {50, 40},
       "Image (0, 0, 50, 40) uiImage: 3x2, mode: .tile, imageRect: (0, 0, 50, 40)\n"},
      {"filling: the pixels cover the frame and spill over evenly",
       ui::Image(wideImage()).resizable().aspectRatio(nil, ui::ContentMode::fill).frame(40, 40),
       {100, 100},
       "Frame (0, 0, 40, 40)\n"
       "  Image (0, 0, 40, 40) uiImage: 3x2, mode: .fill, imageRect: (-10, 0, 60, 40)\n"},
      {"filling with nothing offered: the pixel size",
       ui::Image(wideImage()).resizable().aspectRatio(nil, ui::ContentMode::fill),
       {nil, nil},
       "Image (0, 0, 3, 2) uiImage: 3x2, mode: .fill, imageRect: (0, 0, 3, 2)\n"},
      {"fitting takes the largest box of the ratio inside the offer",
       ui::Image(wideImage()).resizable().aspectRatio(2, ui::ContentMode::fit).frame(40, 40),
       {100, 100},
       "Frame (0, 0, 40, 40)\n"
       "  Image (0, 10, 40, 20) uiImage: 3x2, mode: .fit, imageRect: (0, 10, 40, 20)\n"},
      {"a symbol is a square of the body size by default",
       ui::Image(std::string_view("star")),
       {nil, nil},
       "Image (0, 0, 17, 17) systemName: \"star\", mode: .stretch, imageRect: (0, 0, 17, 17), "
       "foreground: .primary\n"},
      {"a symbol is a square of its font's size",
       ui::Image(std::string_view("star"))
           .font(ui::Font::system(12, ui::Font::Weight::semibold))
           .foregroundStyle(ui::Color::blue),
       {100, 100},
       "Image (0, 0, 12, 12) systemName: \"star\", mode: .stretch, imageRect: (0, 0, 12, 12), "
       "font: .system(size: 12, weight: .semibold), foreground: .blue\n"},
      {"a progress bar offered no width takes 100",
       ui::ProgressView(0.5, 1),
       {nil, nil},
       "Progress (0, 0, 100, 4) fraction: 0.5\n"},
      {"a progress bar is 4 high, centred in a taller frame",
       ui::ProgressView(0.5, 1).frame(nil, 20),
       {80, 100},
       "Frame (0, 0, 80, 20)\n  Progress (0, 8, 80, 4) fraction: 0.5\n"},
      {"a shape takes the offer, 10 where nothing is offered",
       ui::RoundedRectangle{}.fill(ui::Color::red),
       {nil, 30},
       "Shape (0, 0, 10, 30) RoundedRectangle(cornerRadius: 0, style: .circular), fill: .red\n"},
      {"an aspect ratio fits a flexible view",
       View(ui::RoundedRectangle{}).aspectRatio(2, ui::ContentMode::fit),
       {100, 100},
       "Shape (0, 0, 100, 50) RoundedRectangle(cornerRadius: 0, style: .circular)\n"},
      {"an aspect ratio fills around the offer",
       View(ui::RoundedRectangle{}).aspectRatio(2, ui::ContentMode::fill),
       {100, 100},
       "Shape (0, 0, 200, 100) RoundedRectangle(cornerRadius: 0, style: .circular)\n"},
      {"a spacer outside a stack takes its minimum both ways",
       ui::Spacer(3),
       {100, 100},
       "Spacer (0, 0, 3, 3)\n"},
      {"a ZStack is the union of its aligned children",
       ui::ZStack(ui::Alignment::bottomLeading, box(30, 10), box(10, 20)),
       {100, 100},
       "ZStack (0, 0, 30, 20)\n  Frame (0, 10, 30, 10)\n    Shape (0, 10, 30, 10) " + blueBox +
           "\n  Frame (0, 0, 10, 20)\n    Shape (0, 0, 10, 20) " + blueBox + "\n"},
      {"an empty view", View(ui::EmptyView{}), {100, 100}, "Empty (0, 0, 0, 0)\n"},
  });
}

// The fake measurer's characters are 0.6 of the point size wide, so a one-letter text's width
// gives the point size its style took at the host's text size, and its height the line height.
TEST(TextSize, EachStyleTakesTheTablesSizeAndLongTextsAreCutFromOneSizeOn) {
  using ui::DynamicTypeSize;
  const struct {
    ui::Font font;
    DynamicTypeSize size;
    double points;
    double lineHeight;
  } styles[] = {
      {ui::Font::headline, DynamicTypeSize::xSmall, 14, 22 * 14 / 17.0},
      {ui::Font::headline, DynamicTypeSize::large, 17, 22},
      {ui::Font::subheadline, DynamicTypeSize::xxxLarge, 21, 20 * 21 / 15.0},
      {ui::Font::footnote, DynamicTypeSize::medium, 12, 18 * 12 / 13.0},
      {ui::Font::caption, DynamicTypeSize::accessibility1, 22, 16 * 22 / 12.0},
      {ui::Font::caption2, DynamicTypeSize::accessibility5, 40, 13 * 40 / 11.0},
      // A system font of a size does not follow the text size.
      {ui::Font::system(10), DynamicTypeSize::accessibility5, 10, 12},
  };
  for (const auto& c : styles) {
    const auto node = lay(ui::Text("a").font(c.font), {nil, nil},
                          host([&](L::Environment& e) { e.typeSize = c.size; }));
    EXPECT_NEAR(node.frame.width, 0.6 * c.points, 1e-6) << ui::dynamicTypeSizeName(c.size);
    EXPECT_NEAR(node.frame.height, c.lineHeight, 1e-6) << ui::dynamicTypeSizeName(c.size);
  }

  // A 30-letter name in one line at down to 80% in 240 points: 14.4 points of width per point of
  // size, so it shrinks at Large (15) and is first cut at xLarge (17).
  const View name = ui::Text(std::string(30, 'n'))
                        .font(ui::Font::subheadline)
                        .lineLimit(1)
                        .minimumScaleFactor(0.8);
  std::vector<std::string> cut;
  for (DynamicTypeSize size : ui::allDynamicTypeSizes) {
    const auto node = lay(name, {240.0, nil}, host([&](L::Environment& e) { e.typeSize = size; }));
    if (std::get<L::Text>(node.payload).truncated) cut.emplace_back(ui::dynamicTypeSizeName(size));
  }
  EXPECT_EQ(cut, (std::vector<std::string>{"xLarge", "xxLarge", "xxxLarge", "AX1", "AX2", "AX3",
                                           "AX4", "AX5"}));
}

TEST(Environment, FlowsDownAndTheInnerModifierWins) {
  const auto text = [](std::string_view lines, std::string_view rest = ".primary") {
    return "lines: [\"" + std::string(lines) +
           "\"], font: .system(size: 10), scale: 1, foreground: " + std::string(rest);
  };
  ui::LocalizedStringKey transfer;
  transfer.literal("").argument("1 MB").literal(" / ").argument("2 MB").literal("");
  expectDumps({
      {"a font reaches the texts inside; a text's own font wins",
       ui::VStack(HorizontalAlignment::leading, 0, ui::Text("a"),
                  ui::Text("b").font(ui::Font::caption))
           .font(ui::Font::system(10)),
       {nil, nil},
       "VStack (0, 0, 7.2, 28)\n  Text (0, 0, 6, 12) " + text("a") +
           "\n  Text (0, 12, 7.2, 16) lines: [\"b\"], font: .caption, scale: 1, foreground: "
           ".primary\n"},
      {"of two modifiers on one view, or around a wrapper, the one applied first wins",
       ui::Text("a")
           .font(ui::Font::system(10))
           .font(ui::Font::caption)
           .foregroundStyle(ui::Color::red)
           .padding(ui::EdgeSet::all, 1)
           .foregroundStyle(ui::Color::blue),
       {nil, nil},
       "Padding (0, 0, 8, 14)\n  Text (1, 1, 6, 12) " + text("a", ".red") + "\n"},
      {"the foreground style colours texts, symbols and unfilled shapes",
       ui::VStack(HorizontalAlignment::leading, 0, ui::Text("a"),
                  ui::Image(std::string_view("star")), View(ui::RoundedRectangle{}),
                  ui::RoundedRectangle{}.fill(ui::Color::red))
           .foregroundStyle(ui::Color::blue)
           .font(ui::Font::system(10)),
       {nil, nil},
       "VStack (0, 0, 10, 42)\n  Text (0, 0, 6, 12) " + text("a", ".blue") +
           "\n  Image (0, 12, 10, 10) systemName: \"star\", mode: .stretch, imageRect: (0, 12, 10, "
           "10), font: .system(size: 10), foreground: .blue\n"
           "  Shape (0, 22, 10, 10) RoundedRectangle(cornerRadius: 0, style: .circular), fill: "
           ".blue\n"
           "  Shape (0, 32, 10, 10) RoundedRectangle(cornerRadius: 0, style: .circular), fill: "
           ".red\n"},
      {"tint and tintColor are separate values; the inner tint wins",
       ui::VStack(HorizontalAlignment::leading, 0, ui::ProgressView(0.25, 1),
                  ui::ProgressView(0.5, 1).tint(ui::Color::green),
                  ui::ProgressView(0.75, 1).tint(ui::AnyShapeStyle{ui::Color::green}))
           .tint(ui::AnyShapeStyle{ui::Color::red}),
       {50, nil},
       "VStack (0, 0, 50, 12)\n"
       "  Progress (0, 0, 50, 4) fraction: 0.25, tint: AnyShapeStyle(.red)\n"
       "  Progress (0, 4, 50, 4) fraction: 0.5, tint: AnyShapeStyle(.red), tintColor: "
       "Color.green\n"
       "  Progress (0, 8, 50, 4) fraction: 0.75, tint: AnyShapeStyle(.green)\n"},
      {"a background sees the environment around its modifier, not the content's own",
       text10("a")
           .foregroundStyle(ui::Color::red)
           .background(ui::Alignment::center, View(ui::RoundedRectangle{}))
           .foregroundStyle(ui::Color::blue),
       {nil, nil},
       "Background (0, 0, 6, 12)\n"
       "  Shape (0, 0, 6, 12) RoundedRectangle(cornerRadius: 0, style: .circular), fill: .blue\n"
       "  Text (0, 0, 6, 12) " +
           text("a", ".red") + "\n"},
      {"monospaced digits of the text or of its font",
       ui::VStack(HorizontalAlignment::leading, 0, text10("42%").monospacedDigit(),
                  ui::Text("7").font(ui::Font::caption.monospacedDigit())),
       {nil, nil},
       "VStack (0, 0, 18, 28)\n  Text (0, 0, 18, 12) " + text("42%") +
           ", monospacedDigit\n  Text (0, 12, 7.2, 16) lines: [\"7\"], font: "
           ".caption.monospacedDigit(), scale: 1, foreground: .primary, monospacedDigit\n"},
      {"no font anywhere: the body size",
       ui::Text("a"),
       {nil, nil},
       "Text (0, 0, 10.2, 20.4) lines: [\"a\"], font: .system(size: 17), scale: 1, foreground: "
       ".primary\n"},
      {"the host's font",
       ui::Text("a"),
       {nil, nil},
       "Text (0, 0, 7.2, 16) lines: [\"a\"], font: .caption, scale: 1, foreground: .primary\n",
       host([](L::Environment& e) { e.font = ui::Font::caption; })},
      {"the host's text size sizes text styles, not a system font of a size",
       ui::VStack(HorizontalAlignment::leading, 0, ui::Text("a").font(ui::Font::caption),
                  text10("b")),
       {nil, nil},
       "VStack (0, 0, 25.8, 69.333333)\n  Text (0, 0, 25.8, 57.333333) lines: [\"a\"], font: "
       ".caption, scale: 1, foreground: .primary, typeSize: AX5\n  Text (0, 57.333333, 6, 12) " +
           text("b") + ", typeSize: AX5\n",
       host([](L::Environment& e) { e.typeSize = ui::DynamicTypeSize::accessibility5; })},
      {"right to left: leading on the right, the stack from the right, lines marked",
       ui::HStack(center, 0, text10("a"), ui::Spacer(), ui::ProgressView(0.25, 1).frame(40, nil))
           .padding(ui::EdgeSet::leading, 5),
       {100.0, nil},
       "Padding (0, 0, 100, 12)\n  HStack (0, 0, 95, 12)\n    Text (89, 0, 6, 12) " + text("a") +
           ", rightToLeft\n    Spacer (40, 6, 49, 0)\n    Frame (0, 4, 40, 4)\n      Progress (0, "
           "4, "
           "40, 4) fraction: 0.25, rightToLeft\n",
       host([](L::Environment& e) { e.layoutDirection = ui::LayoutDirection::rightToLeft; })},
      {"a localizable text is looked up in the host's table",
       ui::Text(transfer).font(ui::Font::system(10)),
       {nil, nil},
       "Text (0, 0, 72, 12) " + text("1 MB of 2 MB") + "\n",
       host([](L::Environment& e) {
         e.strings = {{"%@ / %@", "%@ of %@"}};
       })},
      {"a localizable text without a table entry shows its interpolation",
       ui::Text(transfer).font(ui::Font::system(10)),
       {nil, nil},
       "Text (0, 0, 66, 12) " + text("1 MB / 2 MB") + "\n"},
  });
}

TEST(Progress, PinsTheDrawnFractionAndLeavesTheValue) {
  const std::array<std::array<double, 3>, 10> cases{{
      // value, total, fraction drawn
      {0.42, 1, 0.42},
      {5, 10, 0.5},
      {-0.0, 1, 0},
      {1.7, 1, 1},
      {nan, 1, 0},
      {1e300, 1, 1},
      {-inf, 1, 0},
      {0, 0, 0},
      {1, 0, 1},
      {1, nan, 0},
  }};
  for (const auto& [value, total, fraction] : cases) {
    const View view = ui::ProgressView(value, total);
    const L::LayoutNode node = lay(view, {100, 10});
    const auto& progress = std::get<L::Progress>(node.payload);
    EXPECT_EQ(ui::numberText(progress.fraction), ui::numberText(fraction)) << value << "/" << total;
    EXPECT_EQ(ui::numberText(std::get<ui::ProgressViewNode>(view.node()).value),
              ui::numberText(value));
  }
}

// --- Numbers that are no numbers ---

TEST(HostileNumbers, GiveFiniteFrames) {
  const View everything =
      ui::VStack(HorizontalAlignment::center, nil, ui::Spacer(), ui::ProgressView(0.5, 1),
                 View(ui::RoundedRectangle{}), ui::Image(wideImage()).resizable(),
                 ui::Image(wideImage()).resizable().aspectRatio(nil, ui::ContentMode::fill),
                 ui::HStack(center, nil, text10("hello world"), ui::Spacer()));
  const double huge = std::numeric_limits<double>::max();
  const std::string any;  // only finiteness is checked
  const Case cases[] = {
      {"a NaN offer is no offer", text10("hello world"), {nan, nan}, "(66, 12)"},
      {"a negative offer is 0", text10("ab"), {-5, -5}, "(6, 24)"},
      {"everything offered infinity", everything, {inf, inf}, any},
      {"everything offered 0", everything, {0, 0}, any},
      {"everything offered NaN", everything, {nan, nan}, any},
      {"everything offered the largest double", everything, {huge, huge}, any},
      {"NaN spacing is the default",
       ui::HStack(center, nan, box(10, 10), box(10, 10)),
       {100, 100},
       "(28, 10)"},
      {"infinite spacing",
       ui::HStack(center, inf, box(10, 10), box(10, 10)),
       {100, 100},
       "(1e+09, 10)"},
      {"infinite negative spacing",
       ui::HStack(center, -inf, box(10, 10), box(10, 10)),
       {100, 100},
       "(0, 10)"},
      {"frame lengths NaN and negative", box(10, 10).frame(nan, -3), {100, 100}, "(10, 0)"},
      {"an infinite frame takes a finite offer", text10("a").frame(inf, inf), {50, 60}, "(50, 60)"},
      {"an infinite frame offered infinity takes its content's size",
       text10("a").frame(inf, inf),
       {inf, inf},
       "(6, 12)"},
      {"frames of 1e300 and -infinity", box(1e300, -inf), {100, 100}, "(1e+09, 0)"},
      {"padding that is no number",
       text10("a").padding(ui::EdgeInsets{nan, inf, -inf, 1e300}),
       {100, 100},
       any},
      {"spacer minimums NaN, negative and infinite",
       ui::HStack(center, 0, ui::Spacer(nan), ui::Spacer(-5), ui::Spacer(inf)),
       {100, 100},
       any},
      {"a NaN spacer minimum is the default", ui::Spacer(nan), {100, 100}, "(8, 8)"},
      {"layout priorities NaN and infinite",
       ui::HStack(center, nil, text10("a").layoutPriority(nan), text10("b").layoutPriority(inf),
                  ui::Spacer().layoutPriority(-inf), text10("c").layoutPriority(-inf)),
       {100, 100},
       "(100, 12)"},
      {"font sizes NaN, huge and negative",
       ui::VStack(HorizontalAlignment::leading, nil, ui::Text("a").font(ui::Font::system(nan)),
                  ui::Text("hello world").font(ui::Font::system(1e300)),
                  ui::Text("a").font(ui::Font::system(-4)),
                  ui::Image(std::string_view("star")).font(ui::Font::system(inf))),
       {100, nil},
       any},
      {"aspect ratios NaN, 0 and negative",
       ui::VStack(HorizontalAlignment::leading, nil,
                  ui::Image(wideImage()).resizable().aspectRatio(nan, ui::ContentMode::fill),
                  ui::Image(wideImage()).resizable().aspectRatio(0, ui::ContentMode::fit),
                  View(ui::RoundedRectangle{}).aspectRatio(-1, ui::ContentMode::fill)),
       {40, 40},
       any},
      {"odd minimum scale factors and line limits",
       ui::VStack(HorizontalAlignment::leading, nil,
                  text10("hello world").lineLimit(1).minimumScaleFactor(-1),
                  text10("hello world").lineLimit(1).minimumScaleFactor(2),
                  text10("hello world").lineLimit(-3).minimumScaleFactor(inf),
                  text10("hello world").lineLimit(INT_MAX)),
       {20, nil},
       any},
  };
  for (const Case& c : cases) {
    const L::LayoutNode root = lay(c.view, c.offer);
    EXPECT_EQ(firstNonFinite(root), "") << c.name;
    EXPECT_LE(std::max(root.frame.width, root.frame.height), L::maxLength) << c.name;
    if (!c.expected.empty()) {
      EXPECT_EQ(root.frame.size().description(), c.expected) << c.name;
    }
  }
}

// --- The presentations ---

struct Presentation {
  std::string name;
  View view;
  L::ProposedSize offer;
};

using SignState = tolvex::SignLiveActivityAttributes::ContentState;
using DownloadState = tolvex::DownloadLiveActivityAttributes::ContentState;

// As the host proposes them on its default device, iphone-15-pro: the Lock Screen 371 wide with
// the height left to the content (the host allows 84 to 160), each expanded region 371 wide,
// compact leading and trailing 52.33 x 36.67, minimal 36.67 x 36.67.
std::vector<Presentation> presentations(View lockScreen, const widgets::DynamicIsland& island) {
  std::vector<Presentation> all;
  all.push_back({"lockscreen", std::move(lockScreen), {371, nil}});
  for (const auto& region : island.expanded()) {
    all.push_back({"expanded " + widgets::describe(region), region.content, {371, nil}});
  }
  all.push_back({"compactLeading", island.compactLeading(), {52.33, 36.67}});
  all.push_back({"compactTrailing", island.compactTrailing(), {52.33, 36.67}});
  all.push_back({"minimal", island.minimal(), {36.67, 36.67}});
  return all;
}

std::vector<Presentation> presentationsOf(const SignState& state) {
  const widgets::ActivityViewContext<tolvex::SignLiveActivityAttributes> context{state, {}};
  return presentations(tolvex::SignLockScreenView(context), tolvex::SignDynamicIsland(context));
}

std::vector<Presentation> presentationsOf(const DownloadState& state) {
  const widgets::ActivityViewContext<tolvex::DownloadLiveActivityAttributes> context{state, {}};
  return presentations(tolvex::DownloadLockScreenView(context),
                       tolvex::DownloadDynamicIsland(context));
}

std::vector<Presentation> presentationsOf(const SignState& sign, const DownloadState& download) {
  std::vector<Presentation> all = presentationsOf(sign);
  for (auto& p : presentationsOf(download)) all.push_back(std::move(p));
  return all;
}

template <class State>
std::string layOutAll(const std::string& json) {
  auto state = coding::JSONDecoder().decode<State>(json);
  if (!state) return "error: " + state.error().description() + "\n";
  std::string out;
  for (const Presentation& p : presentationsOf(state.value())) {
    out +=
        "# " + p.name + " proposed " + p.offer.description() + "\n" + L::dump(lay(p.view, p.offer));
  }
  return out;
}

class LayoutGolden : public testing::TestWithParam<fs::path> {};

TEST_P(LayoutGolden, MatchesTheReviewedDump) {
  const fs::path input = GetParam();
  const std::string area = input.parent_path().filename().string();
  const std::string base =
      (fs::path(TOLVEX_GOLDEN_DIR) / "layout" / (area + "-" + input.stem().string())).string();
  const std::string json = golden::readFile(input);
  golden::expectMatches(
      base + ".txt", area == "sign" ? layOutAll<SignState>(json) : layOutAll<DownloadState>(json));
}

INSTANTIATE_TEST_SUITE_P(Presentations, LayoutGolden,
                         testing::ValuesIn(golden::stateInputs(TOLVEX_GOLDEN_DIR)),
                         golden::caseName);

// --- The presentations given bad input ---

SignState signState() {
  return {0.5, "Signing", std::nullopt, "Demo", "Packing", std::nullopt};
}
DownloadState downloadState() {
  return {0.5, "Downloading", "a.zip", "1 MB", "2 MB", "1 s", std::nullopt};
}

// Finite frames, the root no wider than offered and every node inside it (a fill image's pixels
// may spill over: they are clipped), and a Lock Screen no taller than the host shows.
void expectInsideOffer(const Presentation& p, const L::LayoutNode& root) {
  EXPECT_EQ(firstNonFinite(root), "") << p.name;
  const double width = *p.offer.width;
  EXPECT_LE(root.frame.width, width) << p.name;
  for (const L::LayoutNode* node : allNodes(root)) {
    EXPECT_GE(node->frame.x, 0) << p.name << ": " << L::kindName(*node);
    EXPECT_LE(node->frame.x + node->frame.width, width) << p.name << ": " << L::kindName(*node);
  }
  if (p.name == "lockscreen") {
    EXPECT_LE(root.frame.height, 160) << p.name;
  }
}

// Counts the requests that carry a text longer than a megabyte.
class CountingMeasurer final : public L::TextMeasurer {
 public:
  L::TextLayout measure(const L::TextRequest& request) const override {
    if (request.text.size() > 1'000'000) ++largeRequests;
    return fake.measure(request);
  }
  mutable int largeRequests = 0;
};

TEST(BadInput, TenMegabyteNamesAreShrunkAndCutQuickly) {
  SignState sign = signState();
  sign.appName = std::string(10'000'000, 'W');
  DownloadState download = downloadState();
  download.fileName = sign.appName;
#if defined(__SANITIZE_ADDRESS__)
  const auto budget = std::chrono::seconds(10);
#else
  const auto budget = std::chrono::seconds(1);
#endif
  const std::vector<Presentation> all = presentationsOf(sign, download);
  for (const Presentation& p : all) {
    CountingMeasurer counting;
    const auto start = std::chrono::steady_clock::now();
    const L::LayoutNode root = L::layout(p.view, p.offer, counting);
    EXPECT_LT(std::chrono::steady_clock::now() - start, budget) << p.name;
    // A few measurements per offer, not one per stack level and offer.
    EXPECT_LE(counting.largeRequests, 12) << p.name;
    expectInsideOffer(p, root);
  }
  // The Lock Screen shows the name on one line at its minimum scale, cut off.
  const L::LayoutNode lockScreen = lay(all[0].view, all[0].offer);
  const auto& name = std::get<L::Text>(findText(lockScreen)->payload);
  EXPECT_EQ(name.scale, 0.8);
  ASSERT_EQ(name.lines.size(), 1u);
  EXPECT_EQ(name.lines[0], std::string(40, 'W') + "\u2026");
}

TEST(BadInput, ProgressThatIsNoNumberOrHugeDrawsEmptyOrFull) {
  for (const auto& [progress, fraction] : {std::pair{nan, 0.0}, {1e300, 1.0}, {-1e300, 0.0}}) {
    SignState sign = signState();
    sign.progress = progress;
    DownloadState download = downloadState();
    download.progress = progress;
    int bars = 0;
    for (const Presentation& p : presentationsOf(sign, download)) {
      const L::LayoutNode root = lay(p.view, p.offer);
      expectInsideOffer(p, root);
      for (const L::LayoutNode* node : allNodes(root)) {
        if (const auto* bar = std::get_if<L::Progress>(&node->payload)) {
          ++bars;
          EXPECT_EQ(bar->fraction, fraction) << p.name;
        }
      }
    }
    EXPECT_EQ(bars, 4) << progress;  // Lock Screen and expanded bottom, in each activity
  }
}

TEST(BadInput, EmptyStringsGiveZeroWidthTextsOneLineHigh) {
  const foundation::String none("");
  int empty = 0;
  for (const Presentation& p : presentationsOf(SignState{0, "", none, "", "", none},
                                               DownloadState{0, "", "", "", "", "", none})) {
    const L::LayoutNode root = lay(p.view, p.offer);
    expectInsideOffer(p, root);
    for (const L::LayoutNode* node : allNodes(root)) {
      const auto* text = std::get_if<L::Text>(&node->payload);
      if (!text || text->lines != std::vector<std::string>{""}) continue;
      ++empty;
      EXPECT_EQ(node->frame.width, 0) << p.name;
      EXPECT_GT(node->frame.height, 0) << p.name;
    }
  }
  EXPECT_EQ(empty, 12);
}

// A 4096 x 4096 PNG, the largest image the platform decodes: grey, so the file stays small;
// decoding still makes the full RGBA pixels. (Eight bits per sample decode several times faster
// than one.)
std::string hugeIconBase64() {
  const std::uint32_t side = 4096;
  const std::vector<std::uint8_t> raw(std::size_t{side} * side, 0xA5);
  spng_ctx* ctx = spng_ctx_new(SPNG_CTX_ENCODER);
  spng_set_option(ctx, SPNG_ENCODE_TO_BUFFER, 1);
  spng_set_option(ctx, SPNG_IMG_COMPRESSION_LEVEL, 1);
  spng_ihdr ihdr{side, side, 8, SPNG_COLOR_TYPE_GRAYSCALE, 0, 0, 0};
  spng_set_ihdr(ctx, &ihdr);
  const int status =
      spng_encode_image(ctx, raw.data(), raw.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE);
  EXPECT_EQ(status, 0) << spng_strerror(status);
  std::size_t length = 0;
  int error = 0;
  auto* buffer = static_cast<std::uint8_t*>(spng_get_png_buffer(ctx, &length, &error));
  const std::vector<std::uint8_t> png(buffer, buffer + length);
  std::free(buffer);
  spng_ctx_free(ctx);
  return foundation::base64Encode(png);
}

TEST(BadInput, HugeIconIsDrawnIntoItsSlot) {
  SignState sign = signState();
  sign.appIconBase64 = foundation::String(hugeIconBase64());
  DownloadState download = downloadState();
  download.appIconBase64 = sign.appIconBase64;
  int images = 0;
  for (const Presentation& p : presentationsOf(sign, download)) {
    const L::LayoutNode root = lay(p.view, p.offer);
    expectInsideOffer(p, root);
    for (const L::LayoutNode* node : allNodes(root)) {
      const auto* image = std::get_if<L::Image>(&node->payload);
      if (!image) continue;
      ++images;
      EXPECT_EQ(std::get<image::UIImage>(image->source).width(), 4096u) << p.name;
      // A square image fills its square slot exactly.
      EXPECT_EQ(image->imageRect, node->frame) << p.name;
      EXPECT_LE(node->frame.width, 44) << p.name;
    }
  }
  // Sign: Lock Screen, compact leading, minimal; download: those and the expanded centre.
  EXPECT_EQ(images, 7);
}

}  // namespace
