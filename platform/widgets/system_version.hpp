#pragma once

#include <compare>
#include <optional>
#include <string>
#include <string_view>

namespace widgets {

// A system release, compared as major, then minor, then patch.
struct SystemVersion {
  int major = 0;
  int minor = 0;
  int patch = 0;

  // "17", "16.1" or "16.0.9"; nothing for anything else.
  static std::optional<SystemVersion> parse(std::string_view text);
  std::string description() const;

  friend auto operator<=>(const SystemVersion&, const SystemVersion&) = default;
};

// The system a host pretends to be when it is told nothing: a current release.
inline constexpr SystemVersion defaultSystemVersion{26, 1, 0};

}  // namespace widgets
