#include "platform/ui/view.hpp"
#include "platform/widgets/dynamic_island.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

std::string line(const ui::View& view) {
  const std::string dump = ui::dump(view);
  return dump.substr(0, dump.find('\n'));
}

TEST(Dump, SpellsEachValueAsThePlatformWritesIt) {
  const double nan = std::nan("");
  const struct {
    ui::View view;
    std::string expected;
  } cases[] = {
      {ui::Text("a\"b\n"), R"(Text(verbatim: "a\"b\n"))"},
      {ui::Text("42%").monospacedDigit(), R"(Text(verbatim: "42%").monospacedDigit())"},
      {ui::Text(ui::LocalizedStringKey().argument("12 MB").literal(" / ").argument("30 MB")),
       R"(Text(localized: "%@ / %@", arguments: ["12 MB", "30 MB"]))"},
      {ui::Text(ui::LocalizedStringKey().literal("100% of ").argument("x")),
       R"(Text(localized: "100%% of %@", arguments: ["x"]))"},
      {ui::ProgressView(nan, 1), "ProgressView(value: nan, total: 1)"},
      {ui::ProgressView(1.7, 1), "ProgressView(value: 1.7, total: 1)"},
      {ui::ProgressView(-std::numeric_limits<double>::infinity(), 1),
       "ProgressView(value: -inf, total: 1)"},
      {ui::Spacer(), "Spacer()"},
      {ui::Spacer(8), "Spacer(minLength: 8)"},
      {ui::Image(std::string_view("arrow.down.circle.fill")),
       R"(Image(systemName: "arrow.down.circle.fill"))"},
      {ui::VStack(ui::HorizontalAlignment::leading, std::nullopt), "VStack(alignment: .leading)"},
      {ui::HStack(ui::VerticalAlignment::center, 0.5), "HStack(alignment: .center, spacing: 0.5)"},
  };
  for (const auto& c : cases) EXPECT_EQ(line(c.view), c.expected);
}

TEST(Dump, KeepsModifiersInTheOrderApplied) {
  const ui::View view = ui::Text("x")
                            .font(ui::Font::caption.weight(ui::Font::Weight::semibold))
                            .tint(ui::AnyShapeStyle{ui::Color::green})
                            .tint(ui::Color::blue)
                            .foregroundStyle(ui::HierarchicalShapeStyle::secondary)
                            .font(ui::Font::system(9, ui::Font::Weight::semibold))
                            .lineLimit(1)
                            .padding(ui::EdgeSet::vertical, 12)
                            .frame(40, 40)
                            .background(ui::Alignment::center,
                                        ui::RoundedRectangle{16, ui::RoundedCornerStyle::continuous}
                                            .fill(ui::Color::fromUIColor(
                                                      ui::Color::UIColor::systemBackground)
                                                      .opacity(0.92)))
                            .minimumScaleFactor(0.8)
                            .layoutPriority(-0.5);
  EXPECT_EQ(ui::dump(view),
            "Text(verbatim: \"x\")\n"
            "  .font(.caption.weight(.semibold))\n"
            "  .tint(AnyShapeStyle(.green))\n"
            "  .tint(Color.blue)\n"
            "  .foregroundStyle(.secondary)\n"
            "  .font(.system(size: 9, weight: .semibold))\n"
            "  .lineLimit(1)\n"
            "  .padding(.vertical, 12)\n"
            "  .frame(width: 40, height: 40, alignment: .center)\n"
            "  .background(alignment: .center)\n"
            "    RoundedRectangle(cornerRadius: 16, style: .continuous)\n"
            "      .fill(Color(uiColor: .systemBackground).opacity(0.92))\n"
            "  .minimumScaleFactor(0.8)\n"
            "  .layoutPriority(-0.5)\n");
}

TEST(View, AnAbsentOptionalChildLeavesNoTrace) {
  const std::optional<ui::View> none;
  const ui::View with = ui::HStack(ui::VerticalAlignment::center, 10, none, ui::Text("t"));
  const ui::View without = ui::HStack(ui::VerticalAlignment::center, 10, ui::Text("t"));
  EXPECT_EQ(with, without);
  EXPECT_EQ(with.children().size(), 1u);
}

TEST(View, EqualityIsByValue) {
  EXPECT_EQ(ui::Text("a").font(ui::Font::caption), ui::Text("a").font(ui::Font::caption));
  EXPECT_NE(ui::Text("a").font(ui::Font::caption), ui::Text("a").font(ui::Font::caption2));
  // The two tint forms write different environment values.
  EXPECT_NE(ui::ProgressView(0.5, 1).tint(ui::Color::blue),
            ui::ProgressView(0.5, 1).tint(ui::AnyShapeStyle{ui::Color::blue}));
  // A text's own monospaced digits differ from the font's.
  EXPECT_NE(ui::Text("1").font(ui::Font::footnote).monospacedDigit(),
            ui::Text("1").font(ui::Font::footnote.monospacedDigit()));
  ui::View a = ui::ProgressView(0.5, 1);
  ui::View copy = a;
  EXPECT_EQ(copy, a);
}

TEST(LocalizedStringKey, ReadsAsTheInterpolationWithoutATableEntry) {
  ui::LocalizedStringKey key;
  key.literal("").argument("12 MB").literal(" / ").argument("30 MB").literal("");
  EXPECT_EQ(key.key(), "%@ / %@");
  EXPECT_EQ(key.resolved({}), "12 MB / 30 MB");
  EXPECT_EQ(key.resolved({{"%@ / %@", "%@ of %@ (100%%)"}}), "12 MB of 30 MB (100%)");
  ui::LocalizedStringKey empty;
  empty.argument("").literal(" / ").argument("");
  EXPECT_EQ(empty.resolved({}), " / ");
}

TEST(DynamicIsland, DumpsRegionsThenPresentationsThenKeyline) {
  std::vector<widgets::DynamicIslandExpandedRegion> regions;
  regions.push_back({widgets::DynamicIslandExpandedRegionPosition::bottom, 0, ui::Spacer()});
  const auto island =
      widgets::DynamicIsland(std::move(regions), ui::Text("L"), ui::Text("T"), ui::Text("M"))
          .keylineTint(ui::Color::red);
  EXPECT_EQ(widgets::dump(island),
            "DynamicIsland\n"
            "  expanded\n"
            "    DynamicIslandExpandedRegion(.bottom, priority: 0)\n"
            "      Spacer()\n"
            "  compactLeading\n"
            "    Text(verbatim: \"L\")\n"
            "  compactTrailing\n"
            "    Text(verbatim: \"T\")\n"
            "  minimal\n"
            "    Text(verbatim: \"M\")\n"
            "  .keylineTint(.red)\n");
}

}  // namespace
