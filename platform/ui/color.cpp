#include "platform/ui/color.hpp"

#include "platform/ui/number_text.hpp"

namespace ui {
namespace {

std::string baseName(const Color& color) {
  if (color.uiColor()) return "Color(uiColor: .systemBackground)";
  switch (*color.name()) {
    case Color::Name::blue:
      return ".blue";
    case Color::Name::green:
      return ".green";
    case Color::Name::red:
      return ".red";
  }
  return ".blue";
}

}  // namespace

std::string Color::description() const {
  std::string text = baseName(*this);
  if (opacity_) text += ".opacity(" + numberText(*opacity_) + ")";
  return text;
}

std::string Color::qualifiedDescription() const {
  return name_ ? "Color" + description() : description();
}

}  // namespace ui
