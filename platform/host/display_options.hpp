#pragma once

#include "platform/ui/environment.hpp"
#include "platform/ui/layout/layout.hpp"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace CLI {
class App;
}

namespace host {

// How the phone a drawing stands for is set: its language's direction and its text size.
struct DisplayOptions {
  std::string locale;
  std::optional<ui::LayoutDirection> direction;

  // --locale and --layout-direction.
  void addTo(CLI::App& command);
  // --layout-direction, else the locale's language's direction.
  ui::LayoutDirection layoutDirection() const;
  ui::layout::Environment environment(ui::DynamicTypeSize typeSize) const;
};

// "xSmall" ... "AX5" for --text-size, and "all" (nothing) where a command takes every size.
std::span<const std::pair<std::string_view, std::optional<ui::DynamicTypeSize>>> textSizeChoices(
    bool withAll);

}  // namespace host
