#pragma once

#include <string>
#include <string_view>

// Cairo's SVG, rewritten where it costs a browser most and changes nothing drawn. Both read
// only the forms Cairo writes and leave anything else as it stands.
namespace ui::render {

// Cairo writes the clip of every operation anew, reduced to the operation's extents and then the
// whole clip path again: a card's rounded outline once for each thing drawn on it. Each distinct
// clip is kept once, and every reference to a copy points at the first.
std::string oneClipEach(std::string_view svg);

// Cairo writes each glyph as a symbol and each character as a <use> of it. A page that shows
// drawings inline parses each symbol and instances each <use> in a tree of its own; the glyph's
// outline written where it is used, moved there, draws alike for a fraction of the work.
std::string glyphsInPlace(std::string_view svg);

}  // namespace ui::render
