#include "platform/ui/alignment.hpp"
#include "platform/ui/edge_insets.hpp"
#include "platform/ui/number_text.hpp"

namespace ui {

std::string_view describe(HorizontalAlignment alignment) {
  switch (alignment) {
    case HorizontalAlignment::leading:
      return ".leading";
    case HorizontalAlignment::center:
      return ".center";
    case HorizontalAlignment::trailing:
      return ".trailing";
  }
  return ".center";
}

std::string_view describe(VerticalAlignment alignment) {
  switch (alignment) {
    case VerticalAlignment::top:
      return ".top";
    case VerticalAlignment::center:
      return ".center";
    case VerticalAlignment::bottom:
      return ".bottom";
  }
  return ".center";
}

std::string_view describe(Alignment alignment) {
  static constexpr std::string_view names[] = {
      ".topLeading", ".top",    ".topTrailing",   ".leading",      ".center",
      ".trailing",   ".bottomLeading", ".bottom", ".bottomTrailing"};
  return names[static_cast<int>(alignment)];
}

HorizontalAlignment horizontal(Alignment alignment) {
  switch (static_cast<int>(alignment) % 3) {
    case 0:
      return HorizontalAlignment::leading;
    case 2:
      return HorizontalAlignment::trailing;
    default:
      return HorizontalAlignment::center;
  }
}

VerticalAlignment vertical(Alignment alignment) {
  switch (static_cast<int>(alignment) / 3) {
    case 0:
      return VerticalAlignment::top;
    case 2:
      return VerticalAlignment::bottom;
    default:
      return VerticalAlignment::center;
  }
}

std::string_view describe(EdgeSet edges) {
  switch (edges) {
    case EdgeSet::all:
      return ".all";
    case EdgeSet::horizontal:
      return ".horizontal";
    case EdgeSet::vertical:
      return ".vertical";
    case EdgeSet::top:
      return ".top";
    case EdgeSet::leading:
      return ".leading";
    case EdgeSet::bottom:
      return ".bottom";
    case EdgeSet::trailing:
      return ".trailing";
  }
  return ".all";
}

EdgeInsets EdgeInsets::on(EdgeSet edges, double length) {
  EdgeInsets insets;
  const bool all = edges == EdgeSet::all;
  const bool horizontal = all || edges == EdgeSet::horizontal;
  const bool vertical = all || edges == EdgeSet::vertical;
  if (vertical || edges == EdgeSet::top) insets.top = length;
  if (vertical || edges == EdgeSet::bottom) insets.bottom = length;
  if (horizontal || edges == EdgeSet::leading) insets.leading = length;
  if (horizontal || edges == EdgeSet::trailing) insets.trailing = length;
  return insets;
}

std::string EdgeInsets::description() const {
  return "EdgeInsets(top: " + numberText(top) + ", leading: " + numberText(leading) +
         ", bottom: " + numberText(bottom) + ", trailing: " + numberText(trailing) + ")";
}

}  // namespace ui
