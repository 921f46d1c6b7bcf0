#include "platform/ui/environment.hpp"

#include <algorithm>
#include <cctype>
#include <string>

namespace ui {

LayoutDirection layoutDirection(std::string_view locale) {
  // The languages with a right-to-left script as their usual writing (CLDR's character order).
  constexpr std::array<std::string_view, 13> rightToLeft{"ar", "arc", "ckb", "dv", "fa", "he", "iw",
                                                         "ks", "ps",  "sd",  "ug", "ur", "yi"};
  std::string language(locale.substr(0, locale.find_first_of("-_.@")));
  std::transform(language.begin(), language.end(), language.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return std::find(rightToLeft.begin(), rightToLeft.end(), language) != rightToLeft.end()
             ? LayoutDirection::rightToLeft
             : LayoutDirection::leftToRight;
}

std::string_view dynamicTypeSizeName(DynamicTypeSize size) {
  constexpr std::array<std::string_view, 12> names{"xSmall", "Small",   "Medium",   "Large",
                                                   "xLarge", "xxLarge", "xxxLarge", "AX1",
                                                   "AX2",    "AX3",     "AX4",      "AX5"};
  return names[static_cast<std::size_t>(size)];
}

}  // namespace ui
