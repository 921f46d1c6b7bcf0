# Common settings for every target of the project: C++20, warnings (as errors with TOLVEX_WERROR),
# optional sanitizers.
function(tolvex_settings target)
  target_compile_features(${target} PUBLIC cxx_std_20)
  set_target_properties(${target} PROPERTIES CXX_EXTENSIONS OFF)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(TOLVEX_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  if(TOLVEX_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer
                                             -fno-sanitize-recover=all)
    target_link_options(${target} PUBLIC -fsanitize=address,undefined)
  endif()
  if(TOLVEX_FUZZ)
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link,address,undefined
                                             -fno-sanitize-recover=all)
    target_link_options(${target} PUBLIC -fsanitize=address,undefined)
  endif()
endfunction()

# tolvex_library(<name> SOURCES ... DEPENDS ...): one library per folder, aliased tolvex::<name>.
function(tolvex_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS;PRIVATE_DEPENDS" ${ARGN})
  add_library(tolvex_${name} STATIC ${ARG_SOURCES})
  add_library(tolvex::${name} ALIAS tolvex_${name})
  target_include_directories(tolvex_${name} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}> $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  target_link_libraries(tolvex_${name} PUBLIC ${ARG_DEPENDS} PRIVATE ${ARG_PRIVATE_DEPENDS})
  tolvex_settings(tolvex_${name})
endfunction()
