#pragma once

#include "platform/ui/render/display_list.hpp"
#include "platform/ui/render/text_system.hpp"

#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace host {

enum class OutputFormat { png, svg, pdf };

// "png", "svg", "pdf".
std::span<const std::pair<std::string_view, OutputFormat>> outputFormatNames();
// The format a file's extension names (".png", ".svg", ".pdf", in any case); nothing otherwise.
std::optional<OutputFormat> formatOfPath(std::string_view path);

// A drawing as the bytes of a file; `scale` is pixels per point for PNG.
std::string encodeDrawing(const ui::render::DisplayList& list, OutputFormat format, int scale,
                          const ui::render::TextSystem& text);

// Writes the whole file or says on `err` why not.
bool writeFile(const std::string& path, const std::string& bytes, std::ostream& err);

}  // namespace host
