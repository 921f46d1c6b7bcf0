#include "support/sample_icons.hpp"
#include "tolvex/presentation/app_icon.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

namespace {

using tolvex::AppIconPlaceholder;
using tolvex::AppIconView;
using tolvex::decodeAppIcon;

std::optional<tolvex::String> text(const char* s) {
  return tolvex::String(s);
}

TEST(DecodeAppIcon, GivesAnImageOnlyForBase64OfAnImage) {
  const std::string square = samples::squareIcon;
  const struct {
    const char* name;
    std::optional<tolvex::String> input;
    bool image;
  } cases[] = {
      {"absent", std::nullopt, false},
      {"empty", text(""), false},
      {"valid PNG", text(samples::squareIcon), true},
      {"line break inside", tolvex::String(square.substr(0, 20) + "\n" + square.substr(20)), false},
      {"space inside", tolvex::String(square.substr(0, 20) + " " + square.substr(20)), false},
      {"padding missing", tolvex::String(square.substr(0, square.size() - 2)), false},
      {"base64 of text", text("aGVsbG8sIG5vdCBhbiBpbWFnZQ=="), false},
  };
  image::ImageCache images;
  for (const auto& c : cases) {
    EXPECT_EQ(decodeAppIcon(c.input, nullptr).has_value(), c.image) << c.name;
    EXPECT_EQ(decodeAppIcon(c.input, &images).has_value(), c.image) << c.name;
  }
  const auto wide = decodeAppIcon(text(samples::wideIcon), nullptr);
  ASSERT_TRUE(wide.has_value());
  EXPECT_EQ(wide->width(), 3u);
  EXPECT_EQ(wide->height(), 2u);
}

// Side, corner radius 0.225 x side, glyph max(0.52 x side, 9).
TEST(AppIconPlaceholder, ScalesWithThePlace) {
  EXPECT_EQ(ui::dump(AppIconPlaceholder(44)),
            "ZStack(alignment: .center)\n"
            "  RoundedRectangle(cornerRadius: 9.9, style: .continuous)\n"
            "    .fill(.blue.opacity(0.16))\n"
            "  Image(systemName: \"arrow.down.circle.fill\")\n"
            "    .font(.system(size: 22.880000000000003, weight: .semibold))\n"
            "    .foregroundStyle(.blue)\n"
            "  .frame(width: 44, height: 44, alignment: .center)\n");
  const std::pair<double, const char*> places[] = {{24, "cornerRadius: 5.4,"}, {24, "size: 12.48,"},
                                                   {20, "cornerRadius: 4.5,"}, {20, "size: 10.4,"},
                                                   {16, "cornerRadius: 3.6,"}, {16, "size: 9,"},
                                                   {std::nan(""), "size: 9,"}};
  for (const auto& [size, part] : places) {
    EXPECT_NE(ui::dump(AppIconPlaceholder(size)).find(part), std::string::npos) << size << part;
  }
}

TEST(AppIconView, ShowsTheImageFilledOrTheFallback) {
  const ui::View fallback = ui::Text("...").font(ui::Font::footnote);
  EXPECT_EQ(AppIconView(std::nullopt, nullptr, 20, fallback), fallback);
  EXPECT_EQ(AppIconView(text("not base64"), nullptr, 20, fallback), fallback);
  EXPECT_EQ(ui::dump(AppIconView(text(samples::wideIcon), nullptr, 20, fallback)),
            "Image(uiImage: 3x2)\n"
            "  .resizable(capInsets: EdgeInsets(top: 0, leading: 0, bottom: 0, trailing: 0), "
            "resizingMode: .stretch)\n"
            "  .aspectRatio(contentMode: .fill)\n"
            "  .frame(width: 20, height: 20, alignment: .center)\n"
            "  .clipShape(RoundedRectangle(cornerRadius: 4.5, style: .continuous))\n");
}

}  // namespace
