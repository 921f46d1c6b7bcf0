#include "platform/ui/layout/layout.hpp"

#include "platform/ui/layout/engine.hpp"

namespace ui::layout {

LayoutNode layout(const View& view, ProposedSize proposal, const TextMeasurer& measurer,
                  const Environment& environment) {
  detail::Engine engine(measurer, environment.strings);
  detail::EnvironmentValues env;
  env.font = environment.font;
  env.typeSize = environment.typeSize;
  LayoutNode root = engine.place(detail::childRef(view, env, std::nullopt), proposal, {0, 0});
  if (environment.layoutDirection == ui::LayoutDirection::rightToLeft) mirror(root);
  return root;
}

}  // namespace ui::layout
