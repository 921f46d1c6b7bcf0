#pragma once

#include "platform/ui/color.hpp"
#include "platform/ui/view.hpp"

#include <optional>
#include <string>
#include <vector>

namespace widgets {

enum class DynamicIslandExpandedRegionPosition { leading, trailing, center, bottom };

struct DynamicIslandExpandedRegion {
  DynamicIslandExpandedRegionPosition position = DynamicIslandExpandedRegionPosition::center;
  double priority = 0;
  ui::View content;

  friend bool operator==(const DynamicIslandExpandedRegion&,
                         const DynamicIslandExpandedRegion&) = default;
};

// The island's four presentations and its keyline tint.
class DynamicIsland {
 public:
  DynamicIsland(std::vector<DynamicIslandExpandedRegion> expanded, ui::View compactLeading,
                ui::View compactTrailing, ui::View minimal)
      : expanded_(std::move(expanded)),
        compactLeading_(std::move(compactLeading)),
        compactTrailing_(std::move(compactTrailing)),
        minimal_(std::move(minimal)) {}

  DynamicIsland keylineTint(const ui::Color& color) && {
    keylineTint_ = color;
    return std::move(*this);
  }

  const std::vector<DynamicIslandExpandedRegion>& expanded() const noexcept { return expanded_; }
  const ui::View& compactLeading() const noexcept { return compactLeading_; }
  const ui::View& compactTrailing() const noexcept { return compactTrailing_; }
  const ui::View& minimal() const noexcept { return minimal_; }
  const std::optional<ui::Color>& keylineTintColor() const noexcept { return keylineTint_; }

  friend bool operator==(const DynamicIsland&, const DynamicIsland&) = default;

 private:
  std::vector<DynamicIslandExpandedRegion> expanded_;
  ui::View compactLeading_;
  ui::View compactTrailing_;
  ui::View minimal_;
  std::optional<ui::Color> keylineTint_;
};

// "DynamicIsland", then `expanded` with each region, `compactLeading`, `compactTrailing`,
// `minimal`, and the keyline tint last, in the view dump's layout.
std::string dump(const DynamicIsland& island);
// "DynamicIslandExpandedRegion(.center, priority: 0)"
std::string describe(const DynamicIslandExpandedRegion& region);

}  // namespace widgets
