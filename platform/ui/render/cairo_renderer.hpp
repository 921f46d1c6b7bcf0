#pragma once

#include "platform/ui/render/display_list.hpp"
#include "platform/ui/render/text_system.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace ui::render {

// A display list drawn through Cairo. PNG is written by our own writer (png_writer.hpp), not
// Cairo's, which takes several times longer than the drawing.
std::vector<std::uint8_t> renderPNG(const DisplayList& list, double scale, const TextSystem& text);
std::string renderSVG(const DisplayList& list, const TextSystem& text);
std::vector<std::uint8_t> renderPDF(const DisplayList& list, const TextSystem& text);

// The pixels of a display list at a scale, RGBA with straight alpha, rows top to bottom; for
// tests that compare images.
struct Bitmap {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgba;
};
Bitmap renderBitmap(const DisplayList& list, double scale, const TextSystem& text);
std::vector<std::uint8_t> encodePNG(const Bitmap& bitmap);

}  // namespace ui::render
