#pragma once

#include "platform/ui/environment.hpp"
#include "platform/ui/font.hpp"
#include "platform/ui/render/display_list.hpp"

#include <memory>
#include <string_view>

typedef struct _PangoContext PangoContext;
typedef struct _PangoLayout PangoLayout;

namespace ui::render {

// Pango and fontconfig set up for reproducible text: Inter (Inter Display from 20 points) falling
// back to Debian's Noto in a fixed order, a private font configuration of those files alone, one
// unit one point, no hinting, greyscale antialiasing. Measuring and drawing share one, so what is
// measured is what is drawn. Not thread-safe: one per thread.
class TextSystem {
 public:
  TextSystem();
  ~TextSystem();
  TextSystem(const TextSystem&) = delete;
  TextSystem& operator=(const TextSystem&) = delete;

  // A layout of one paragraph in the given face, owned by the caller (g_object_unref).
  PangoLayout* createLayout(std::string_view text, const TextFont& font) const;
  PangoContext* context() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Where a layout of `item` is drawn from, its top left: centred in the item's line box, whose
// height comes from the published text styles; in a right-to-left layout, ending at its right
// edge. Every back end places text here.
PathPoint layoutOrigin(PangoLayout* layout, const TextItem& item);

// The face a font resolves to: family by size, weight, tabular digits.
TextFont faceFor(double pointSize, int weight, bool tabularDigits);

// The face and the line height a font is drawn with at a scale.
struct DrawnFont {
  TextFont face;
  double lineHeight = 0;
};
DrawnFont resolveFont(const Font& font, double scale,
                      DynamicTypeSize typeSize = DynamicTypeSize::large);

}  // namespace ui::render
