#include "platform/widgets/system_version.hpp"

#include <charconv>

namespace widgets {

std::optional<SystemVersion> SystemVersion::parse(std::string_view text) {
  SystemVersion version;
  int* parts[] = {&version.major, &version.minor, &version.patch};
  std::size_t index = 0;
  const char* cursor = text.data();
  const char* end = text.data() + text.size();
  while (true) {
    if (index == 3 || cursor == end || *cursor < '0' || *cursor > '9') return std::nullopt;
    const auto [next, error] = std::from_chars(cursor, end, *parts[index]);
    if (error != std::errc() || next - cursor > 4) return std::nullopt;
    cursor = next;
    ++index;
    if (cursor == end) return version;
    if (*cursor != '.') return std::nullopt;
    ++cursor;
  }
}

std::string SystemVersion::description() const {
  return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
}

}  // namespace widgets
