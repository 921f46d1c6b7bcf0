#pragma once

#include "platform/ui/layout/geometry.hpp"

#include <optional>

namespace ui::layout::detail {

// The axis a stack lays its children along; the other one is across it.
enum class Axis { horizontal, vertical };

inline double along(Size size, Axis axis) {
  return axis == Axis::horizontal ? size.width : size.height;
}
inline double across(Size size, Axis axis) {
  return axis == Axis::horizontal ? size.height : size.width;
}
inline std::optional<double> along(ProposedSize proposal, Axis axis) {
  return axis == Axis::horizontal ? proposal.width : proposal.height;
}
inline std::optional<double> across(ProposedSize proposal, Axis axis) {
  return axis == Axis::horizontal ? proposal.height : proposal.width;
}
inline ProposedSize proposal(std::optional<double> alongLength, std::optional<double> acrossLength,
                             Axis axis) {
  return axis == Axis::horizontal ? ProposedSize{alongLength, acrossLength}
                                  : ProposedSize{acrossLength, alongLength};
}
inline Point point(double alongPosition, double acrossPosition, Axis axis) {
  return axis == Axis::horizontal ? Point{alongPosition, acrossPosition}
                                  : Point{acrossPosition, alongPosition};
}

}  // namespace ui::layout::detail
