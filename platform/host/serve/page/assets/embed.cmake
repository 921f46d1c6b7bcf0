# Writes the page's files into a C++ source as raw string literals, so the executable serves
# them with nothing to install beside it. Run as: cmake -DOUTPUT=f.cpp -DINPUTS="a;b" -P embed.cmake
set(delimiter "tolvex_page")
set(body "")
foreach(input IN LISTS INPUTS)
  file(READ "${input}" text)
  string(FIND "${text}" ")${delimiter}\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${input} contains the literal's delimiter")
  endif()
  get_filename_component(name "${input}" NAME)
  string(APPEND body "    {\"/${name}\", R\"${delimiter}(${text})${delimiter}\"},\n")
endforeach()
file(WRITE "${OUTPUT}.new" "// Generated from platform/host/serve/page/assets/ by embed.cmake.
#include \"platform/host/serve/page/page_assets.hpp\"

#include <array>
#include <utility>

namespace host::serve {

std::span<const std::pair<std::string_view, std::string_view>> pageAssets() {
  static constexpr std::pair<std::string_view, std::string_view> assets[] = {
${body}  };
  return assets;
}

}  // namespace host::serve
")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
