#include "platform/ui/render/text_system.hpp"

#include "platform/ui/platform_metrics.hpp"

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace ui::render {

struct TextSystem::Impl {
  FcConfig* config = nullptr;
  PangoFontMap* fontMap = nullptr;
  PangoContext* context = nullptr;
};

namespace {

// The families a text falls back through, in this order, when the one asked for lacks a
// character: Inter first (the stand-in for the system font), then Debian's Noto for the scripts
// senders write most, CJK, colour emoji and symbols. Whatever none of these covers goes to the
// rest of Noto Sans, which fontconfig orders among our own files alone.
// Emoji come right after Inter, as on the phone: a character that has an emoji form (a heart, a
// check mark) is drawn in colour, not as a CJK font's or a symbol font's outline.
constexpr std::array<const char*, 13> kFallbackFamilies{
    "Noto Color Emoji", "Noto Sans Arabic", "Noto Sans Hebrew",  "Noto Sans Devanagari",
    "Noto Sans Thai",   "Noto Sans CJK JP", "Noto Sans CJK KR",  "Noto Sans CJK SC",
    "Noto Sans CJK TC", "Noto Sans",        "Noto Sans Symbols", "Noto Sans Symbols2",
    "Noto Sans Math"};

// Colour emoji come as bitmaps of one size (136 pixels): without this rule, which fontconfig's
// own configuration carries and ours would otherwise lack, they are drawn at that size whatever
// the text's. It scales a font without outlines to the size asked for.
constexpr const char* kBitmapScaling = R"(<?xml version="1.0"?>
<fontconfig>
  <match target="font">
    <test name="outline" compare="eq"><bool>false</bool></test>
    <edit name="pixelsizefixupfactor" mode="assign">
      <divide><name target="pattern">pixelsize</name><name target="font">pixelsize</name></divide>
    </edit>
  </match>
  <match target="font">
    <test name="outline" compare="eq"><bool>false</bool></test>
    <test name="pixelsizefixupfactor" compare="not_eq"><double>1.0</double></test>
    <edit name="matrix" mode="assign">
      <times>
        <name>matrix</name>
        <matrix><name>pixelsizefixupfactor</name><double>0</double>
                <double>0</double><name>pixelsizefixupfactor</name></matrix>
      </times>
    </edit>
    <edit name="size" mode="assign"><divide><name>size</name><name>pixelsizefixupfactor</name></divide></edit>
  </match>
</fontconfig>
)";

struct FontFolder {
  const char* path;
  bool (*wanted)(const std::string& file);
};

bool interFace(const std::string& file) {
  return file.ends_with(".otf");
}
// Noto Sans of every script, upright, regular and bold: Debian's fonts-noto-core has no other
// weights, so semibold takes the bold.
bool notoSansFace(const std::string& file) {
  return file.starts_with("NotoSans") && !file.starts_with("NotoSansDisplay") &&
         !file.starts_with("NotoSansMono") &&
         (file.ends_with("-Regular.ttf") || file.ends_with("-Bold.ttf"));
}
bool notoCJKFace(const std::string& file) {
  return file == "NotoSansCJK-Regular.ttc" || file == "NotoSansCJK-Bold.ttc";
}
bool notoEmojiFace(const std::string& file) {
  return file == "NotoColorEmoji.ttf";
}

constexpr std::array<FontFolder, 4> kFontFolders{{
    {"/usr/share/fonts/opentype/inter", interFace},
    {"/usr/share/fonts/truetype/noto", notoSansFace},
    {"/usr/share/fonts/opentype/noto", notoCJKFace},
    {"/usr/share/fonts/truetype/noto", notoEmojiFace},
}};

// Only the faces listed above, so no other font on the machine can change a picture. The files
// are added one by one, in a fixed order: adding a folder would make fontconfig want a cache
// folder of its own, which this configuration does not have. Reading some three hundred faces
// costs about a tenth of a second, so the configuration is made once per process; it is never
// changed after, and fontconfig lets threads read one configuration together.
FcConfig* sharedFontConfig() {
  static FcConfig* const config = [] {
    FcConfig* made = FcConfigCreate();
    FcConfigParseAndLoadFromMemory(made, reinterpret_cast<const FcChar8*>(kBitmapScaling), FcTrue);
    for (const FontFolder& folder : kFontFolders) {
      std::vector<std::filesystem::path> files;
      std::error_code error;
      for (const auto& entry : std::filesystem::directory_iterator(folder.path, error)) {
        if (folder.wanted(entry.path().filename().string())) files.push_back(entry.path());
      }
      std::sort(files.begin(), files.end());
      for (const auto& file : files) {
        FcConfigAppFontAddFile(made, reinterpret_cast<const FcChar8*>(file.c_str()));
      }
    }
    return made;
  }();
  FcConfigReference(config);
  return config;
}

// "Inter, Noto Sans Arabic, ...": Pango tries the families in turn for each character.
std::string withFallbacks(const std::string& family) {
  std::string list = family;
  for (const char* fallback : kFallbackFamilies) {
    list += ", ";
    list += fallback;
  }
  return list;
}

// The byte ranges of `text` the phone draws as emoji: characters shown as emoji by default, any
// emoji character asking for it with U+FE0F, and what joins and modifies them (zero-width joiner
// sequences, skin tones, keycaps, tags, flags). Inter has outlines of a few of them (a heart, a
// check mark), and fontconfig would pick those; the phone draws them in colour.
std::vector<std::pair<std::size_t, std::size_t>> emojiRanges(std::string_view text) {
  std::vector<std::pair<std::size_t, std::size_t>> ranges;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto length = static_cast<std::int32_t>(text.size());
  const auto next = [&](std::int32_t at) {
    UChar32 c = -1;
    if (at < length) U8_NEXT(bytes, at, length, c);
    return c;
  };
  bool inRun = false;
  bool afterJoiner = false;
  std::int32_t at = 0;
  while (at < length) {
    const std::int32_t start = at;
    UChar32 c = 0;
    U8_NEXT(bytes, at, length, c);
    const bool joins = c == 0x200d || c == 0xfe0f || c == 0x20e3 ||
                       (c >= 0x1f3fb && c <= 0x1f3ff) || (c >= 0xe0020 && c <= 0xe007f);
    const bool emoji =
        c >= 0 && (u_hasBinaryProperty(c, UCHAR_EMOJI_PRESENTATION) ||
                   (u_hasBinaryProperty(c, UCHAR_EMOJI) && (next(at) == 0xfe0f || afterJoiner)));
    if (emoji || (inRun && joins)) {
      if (inRun) {
        ranges.back().second = static_cast<std::size_t>(at);
      } else {
        ranges.emplace_back(static_cast<std::size_t>(start), static_cast<std::size_t>(at));
      }
      inRun = true;
    } else {
      inRun = false;
    }
    afterJoiner = inRun && c == 0x200d;
  }
  return ranges;
}

int weightValue(Font::Weight weight) {
  switch (weight) {
    case Font::Weight::regular:
      return 400;
    case Font::Weight::medium:
      return 500;
    case Font::Weight::semibold:
      return 600;
    case Font::Weight::bold:
      return 700;
  }
  return 400;
}

}  // namespace

TextSystem::TextSystem() : impl_(std::make_unique<Impl>()) {
  impl_->config = sharedFontConfig();
  impl_->fontMap = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
  if (impl_->fontMap == nullptr) throw std::runtime_error("Pango has no FreeType font map");
  pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(impl_->fontMap), impl_->config);
  pango_cairo_font_map_set_resolution(PANGO_CAIRO_FONT_MAP(impl_->fontMap), 72);
  impl_->context = pango_font_map_create_context(impl_->fontMap);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  pango_cairo_context_set_font_options(impl_->context, options);
  cairo_font_options_destroy(options);
  pango_context_set_round_glyph_positions(impl_->context, FALSE);
}

TextSystem::~TextSystem() {
  if (impl_->context) g_object_unref(impl_->context);
  if (impl_->fontMap) g_object_unref(impl_->fontMap);
  if (impl_->config) FcConfigDestroy(impl_->config);
}

PangoContext* TextSystem::context() const {
  return impl_->context;
}

PangoLayout* TextSystem::createLayout(std::string_view text, const TextFont& font) const {
  PangoLayout* layout = pango_layout_new(impl_->context);
  PangoFontDescription* description = pango_font_description_new();
  pango_font_description_set_family(description, withFallbacks(font.family).c_str());
  pango_font_description_set_absolute_size(description, font.size * PANGO_SCALE);
  pango_font_description_set_weight(description, static_cast<PangoWeight>(font.weight));
  pango_layout_set_font_description(layout, description);
  pango_font_description_free(description);
  PangoAttrList* attributes = pango_attr_list_new();
  if (font.tabularDigits) pango_attr_list_insert(attributes, pango_attr_font_features_new("tnum"));
  // Emoji are drawn from the emoji font alone: given the choice, fontconfig ranks a font without
  // colour (Noto Sans Symbols2 has outlines of many emoji) above the family asked for.
  for (const auto& [start, end] : emojiRanges(text)) {
    for (PangoAttribute* emoji :
         {pango_attr_family_new("Noto Color Emoji"), pango_attr_fallback_new(FALSE)}) {
      emoji->start_index = static_cast<guint>(start);
      emoji->end_index = static_cast<guint>(end);
      pango_attr_list_insert(attributes, emoji);
    }
  }
  pango_layout_set_attributes(layout, attributes);
  pango_attr_list_unref(attributes);
  pango_layout_set_single_paragraph_mode(layout, TRUE);
  pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
  return layout;
}

PathPoint layoutOrigin(PangoLayout* layout, const TextItem& item) {
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  const double height = static_cast<double>(logical.height) / PANGO_SCALE;
  const double x =
      item.rightEdge ? *item.rightEdge - static_cast<double>(logical.width) / PANGO_SCALE : item.x;
  return {x, item.y + (item.lineHeight - height) / 2};
}

TextFont faceFor(double pointSize, int weight, bool tabularDigits) {
  return TextFont{pointSize >= 20 ? "Inter Display" : "Inter", pointSize, weight, tabularDigits};
}

DrawnFont resolveFont(const Font& font, double scale, DynamicTypeSize typeSize) {
  const ui::ResolvedFont resolved = ui::resolve(font, typeSize);
  const double safeScale = std::isfinite(scale) && scale > 0 ? scale : 1;
  const double size = resolved.pointSize * safeScale;
  const double lineHeight =
      resolved.styleLineHeight ? *resolved.styleLineHeight * safeScale : 1.2 * size;
  return DrawnFont{faceFor(size, weightValue(resolved.weight), resolved.monospacedDigits),
                   lineHeight};
}

}  // namespace ui::render
