#pragma once

namespace ui::layout::detail {

// A visitor made of one lambda per alternative.
template <class... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

}  // namespace ui::layout::detail
