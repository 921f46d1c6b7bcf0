#pragma once

#include <span>
#include <string_view>
#include <utility>

namespace host::serve {

// The page's files by their path ("/index.html", "/page.js", "/page.css") and their text.
std::span<const std::pair<std::string_view, std::string_view>> pageAssets();

}  // namespace host::serve
