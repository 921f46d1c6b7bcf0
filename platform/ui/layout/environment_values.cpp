#include "platform/ui/layout/environment_values.hpp"

#include "platform/ui/layout/overloaded.hpp"

namespace ui::layout::detail {

bool applyEnvironment(const Modifier& modifier, EnvironmentValues& env) {
  return std::visit(
      Overloaded{
          [&](const FontModifier& m) { return env.font = m.font, true; },
          [&](const LineLimitModifier& m) { return env.lineLimit = m.limit, true; },
          [&](const MinimumScaleFactorModifier& m) {
            return env.minimumScaleFactor = m.factor, true;
          },
          [&](const ForegroundStyleModifier& m) { return env.foreground = m.style, true; },
          [&](const TintModifier& m) { return env.tint = m.tint, true; },
          [&](const TintColorModifier& m) { return env.tintColor = m.tintColor, true; },
          [](const auto&) { return false; },
      },
      modifier);
}

bool isEnvironment(const Modifier& modifier) {
  EnvironmentValues scratch;
  return applyEnvironment(modifier, scratch);
}

}  // namespace ui::layout::detail
