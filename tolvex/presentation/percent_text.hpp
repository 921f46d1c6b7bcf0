#pragma once

#include <string>

namespace tolvex {

// The whole-percent text of a progress fraction, "0%" to "100%" for every input, NaN included.
std::string percentText(double progress);

}  // namespace tolvex
