#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ui {

// A colour as the platform names it: a system colour, or one made from a UIKit colour, possibly
// at an opacity. It is resolved to pixels only when drawn, because each looks different in the
// light and the dark appearance.
class Color {
 public:
  enum class Name : std::uint8_t { blue, green, red };
  // The UIKit colours a Color can be made from.
  enum class UIColor : std::uint8_t { systemBackground };

  static const Color blue;
  static const Color green;
  static const Color red;

  constexpr explicit Color(Name name) noexcept : name_(name) {}
  // Color(uiColor:)
  static constexpr Color fromUIColor(UIColor color) noexcept { return Color(color); }

  constexpr Color opacity(double value) const noexcept {
    Color copy = *this;
    copy.opacity_ = value * opacity_.value_or(1.0);
    return copy;
  }

  constexpr std::optional<Name> name() const noexcept { return name_; }
  constexpr std::optional<UIColor> uiColor() const noexcept { return uiColor_; }
  // The opacity modifier's value, if one was applied.
  constexpr std::optional<double> opacityValue() const noexcept { return opacity_; }

  // The dump's spelling as a style: ".blue", ".blue.opacity(0.16)",
  // "Color(uiColor: .systemBackground).opacity(0.92)".
  std::string description() const;
  // The spelling that names the type: "Color.blue" (where a colour stands apart from a style).
  std::string qualifiedDescription() const;

  friend constexpr bool operator==(const Color&, const Color&) = default;

 private:
  constexpr explicit Color(UIColor color) noexcept : uiColor_(color) {}

  std::optional<Name> name_;
  std::optional<UIColor> uiColor_;
  std::optional<double> opacity_;
};

inline constexpr Color Color::blue{Color::Name::blue};
inline constexpr Color Color::green{Color::Name::green};
inline constexpr Color Color::red{Color::Name::red};

}  // namespace ui
