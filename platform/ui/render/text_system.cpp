#include "platform/ui/render/text_system.hpp"

#include "platform/ui/platform_metrics.hpp"

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>

#include <algorithm>
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

// Only the Inter faces Debian installs, so no other font on the machine can change a picture.
// The files are added one by one, in a fixed order: adding a folder would make fontconfig want a
// cache folder of its own, which this configuration does not have.
FcConfig* interOnlyConfig() {
  FcConfig* config = FcConfigCreate();
  std::vector<std::filesystem::path> files;
  for (const char* directory : {"/usr/share/fonts/opentype/inter"}) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
      if (entry.path().extension() == ".otf") files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  for (const auto& file : files) {
    FcConfigAppFontAddFile(config, reinterpret_cast<const FcChar8*>(file.c_str()));
  }
  return config;
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
  impl_->config = interOnlyConfig();
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
  pango_font_description_set_family(description, font.family.c_str());
  pango_font_description_set_absolute_size(description, font.size * PANGO_SCALE);
  pango_font_description_set_weight(description, static_cast<PangoWeight>(font.weight));
  pango_layout_set_font_description(layout, description);
  pango_font_description_free(description);
  if (font.tabularDigits) {
    PangoAttrList* attributes = pango_attr_list_new();
    pango_attr_list_insert(attributes, pango_attr_font_features_new("tnum"));
    pango_layout_set_attributes(layout, attributes);
    pango_attr_list_unref(attributes);
  }
  pango_layout_set_single_paragraph_mode(layout, TRUE);
  pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
  return layout;
}

TextFont faceFor(double pointSize, int weight, bool tabularDigits) {
  return TextFont{pointSize >= 20 ? "Inter Display" : "Inter", pointSize, weight, tabularDigits};
}

DrawnFont resolveFont(const Font& font, double scale) {
  const ui::ResolvedFont resolved = ui::resolve(font);
  const double safeScale = std::isfinite(scale) && scale > 0 ? scale : 1;
  const double size = resolved.pointSize * safeScale;
  const double lineHeight =
      resolved.styleLineHeight ? *resolved.styleLineHeight * safeScale : 1.2 * size;
  return DrawnFont{faceFor(size, weightValue(resolved.weight), resolved.monospacedDigits),
                   lineHeight};
}

}  // namespace ui::render
