#include "platform/host/display_options.hpp"

#include "platform/host/choice_option.hpp"

#include <vector>

namespace host {

void DisplayOptions::addTo(CLI::App& command) {
  command.add_option("--locale", locale,
                     "The phone's language, as ar, he_IL or en-GB: a right-to-left language "
                     "mirrors the layout");
  static constexpr std::array<std::pair<std::string_view, std::optional<ui::LayoutDirection>>, 2>
      directions{
          {{"ltr", ui::LayoutDirection::leftToRight}, {"rtl", ui::LayoutDirection::rightToLeft}}};
  addChoice<std::optional<ui::LayoutDirection>>(command, "--layout-direction", direction,
                                                directions,
                                                "Which way layouts run (default: the locale's)");
}

ui::LayoutDirection DisplayOptions::layoutDirection() const {
  return direction.value_or(ui::layoutDirection(locale));
}

ui::layout::Environment DisplayOptions::environment(ui::DynamicTypeSize typeSize) const {
  ui::layout::Environment environment;
  environment.layoutDirection = layoutDirection();
  environment.typeSize = typeSize;
  return environment;
}

std::span<const std::pair<std::string_view, std::optional<ui::DynamicTypeSize>>> textSizeChoices(
    bool withAll) {
  static const auto table = [] {
    std::vector<std::pair<std::string_view, std::optional<ui::DynamicTypeSize>>> choices;
    for (ui::DynamicTypeSize size : ui::allDynamicTypeSizes) {
      choices.emplace_back(ui::dynamicTypeSizeName(size), size);
    }
    choices.emplace_back("all", std::nullopt);
    return choices;
  }();
  return withAll ? std::span(table) : std::span(table).first(table.size() - 1);
}

}  // namespace host
