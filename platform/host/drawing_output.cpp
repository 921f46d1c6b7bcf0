#include "platform/host/drawing_output.hpp"

#include "platform/ui/render/cairo_renderer.hpp"

#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <ostream>

namespace host {
namespace {

constexpr std::array<std::pair<std::string_view, OutputFormat>, 3> names{{
    {"png", OutputFormat::png},
    {"svg", OutputFormat::svg},
    {"pdf", OutputFormat::pdf},
}};

}  // namespace

std::span<const std::pair<std::string_view, OutputFormat>> outputFormatNames() {
  return names;
}

std::optional<OutputFormat> formatOfPath(std::string_view path) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
    return std::nullopt;
  }
  std::string extension(path.substr(dot + 1));
  for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  for (const auto& [name, format] : names) {
    if (name == extension) return format;
  }
  return std::nullopt;
}

std::string encodeDrawing(const ui::render::DisplayList& list, OutputFormat format, int scale,
                          const ui::render::TextSystem& text) {
  if (format == OutputFormat::svg) return ui::render::renderSVG(list, text);
  const std::vector<std::uint8_t> bytes = format == OutputFormat::pdf
                                              ? ui::render::renderPDF(list, text)
                                              : ui::render::renderPNG(list, scale, text);
  return std::string(bytes.begin(), bytes.end());
}

bool writeFile(const std::string& path, const std::string& bytes, std::ostream& err) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file.close();
  if (!file) {
    err << "error: io: cannot write '" << path << "': " << std::strerror(errno) << '\n';
    return false;
  }
  return true;
}

}  // namespace host
