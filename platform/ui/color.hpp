#pragma once

#include <cstdint>
#include <string>

namespace ui {

// A colour as the platform names it: one of the system colours, resolved to pixels only when drawn,
// because each looks different in light and dark.
class Color {
 public:
  enum class Name : std::uint8_t { blue, green, red };

  static const Color blue;
  static const Color green;
  static const Color red;

  constexpr explicit Color(Name name) noexcept : name_(name) {}

  constexpr Name name() const noexcept { return name_; }
  // The canonical dump's spelling, such as ".blue".
  std::string description() const;

  friend constexpr bool operator==(const Color&, const Color&) = default;

 private:
  Name name_;
};

inline constexpr Color Color::blue{Color::Name::blue};
inline constexpr Color Color::green{Color::Name::green};
inline constexpr Color Color::red{Color::Name::red};

}  // namespace ui
