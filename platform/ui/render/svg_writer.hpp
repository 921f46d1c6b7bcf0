#pragma once

#include "platform/ui/render/display_list.hpp"
#include "platform/ui/render/text_system.hpp"

#include <memory>
#include <optional>
#include <string>

namespace ui::render {

// SVG for a page that follows pushes, written straight from the display list. Cairo's SVG
// surface formats every glyph outline of every drawing anew through printf, which made most of
// a drawing's cost; here each glyph's outline is formatted once and kept, and each glyph is
// written where it is drawn. Text is laid out by the same text system, so glyphs land where
// Cairo puts them. Attributes are in single quotes and there are no line breaks: the page is
// sent its drawings inside JSON, where each double quote and line break is escaped.
//
// What this writer does not draw as Cairo does, it declines (nothing is returned) and the caller
// draws through Cairo: blends (Night Mode's tint, which Cairo draws as an image), colour glyphs
// (emoji, which have no outline), the box Pango draws for a character no font has, numbers that
// are not finite.
//
// The outlines it keeps belong to one text system: one writer per text system, used from one
// thread at a time.
class SvgWriter {
 public:
  explicit SvgWriter(const TextSystem& text);
  ~SvgWriter();
  SvgWriter(const SvgWriter&) = delete;
  SvgWriter& operator=(const SvgWriter&) = delete;

  std::optional<std::string> write(const DisplayList& list);

  // How many glyph outlines are kept at most; past it they are forgotten and formatted anew.
  static constexpr std::size_t maxGlyphs = 16384;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace ui::render
