#pragma once

#include <string>

namespace ui {

// The shortest text that reads back as the same double ("1", "0.92", "22.88"), with "nan", "inf"
// and "-inf" for the values JSON has no form for: how every dump spells a number.
std::string numberText(double value);

// A string as a JSON string literal, quoted and escaped.
std::string quoted(std::string_view text);

}  // namespace ui
