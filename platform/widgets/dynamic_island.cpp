#include "platform/widgets/dynamic_island.hpp"

#include "platform/ui/number_text.hpp"

namespace widgets {

std::string describe(const DynamicIslandExpandedRegion& region) {
  static constexpr const char* positions[] = {".leading", ".trailing", ".center", ".bottom"};
  return std::string("DynamicIslandExpandedRegion(") +
         positions[static_cast<int>(region.position)] +
         ", priority: " + ui::numberText(region.priority) + ")";
}

std::string dump(const DynamicIsland& island) {
  std::string out = "DynamicIsland\n  expanded\n";
  for (const DynamicIslandExpandedRegion& region : island.expanded()) {
    out += "    " + describe(region) + "\n";
    out += ui::dump(region.content, 6);
  }
  out += "  compactLeading\n" + ui::dump(island.compactLeading(), 4);
  out += "  compactTrailing\n" + ui::dump(island.compactTrailing(), 4);
  out += "  minimal\n" + ui::dump(island.minimal(), 4);
  if (island.keylineTintColor()) {
    out += "  .keylineTint(" + island.keylineTintColor()->description() + ")\n";
  }
  return out;
}

}  // namespace widgets
