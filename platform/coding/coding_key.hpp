#pragma once

#include "platform/foundation/string.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace coding {

// A coding key is an enumeration whose cases name the members of a keyed container. Its scope
// (the record it belongs to) provides the string values through a hidden friend found by lookup
// on the enumeration:
//   friend constexpr std::span<const std::string_view> codingKeyStrings(CodingKeys);
// Case i has string value codingKeyStrings(K{})[i]; no case has an integer value.
template <class K>
concept CodingKey = std::is_enum_v<K> && requires(K key) {
  { codingKeyStrings(key) } -> std::convertible_to<std::span<const std::string_view>>;
};

template <CodingKey K>
constexpr std::size_t keyCount() {
  return codingKeyStrings(K{}).size();
}

template <CodingKey K>
constexpr std::string_view stringValue(K key) {
  return codingKeyStrings(key)[static_cast<std::size_t>(key)];
}

template <CodingKey K>
constexpr std::optional<int> intValue(K) {
  return std::nullopt;
}

// The case whose string value equals the text under canonical equivalence, case-sensitively.
template <CodingKey K>
std::optional<K> keyFromString(std::string_view text) {
  const auto strings = codingKeyStrings(K{});
  for (std::size_t i = 0; i < strings.size(); ++i) {
    if (foundation::canonicallyEqual(strings[i], text)) return static_cast<K>(i);
  }
  return std::nullopt;
}

// No case is made from an integer.
template <CodingKey K>
constexpr std::optional<K> keyFromInt(int) {
  return std::nullopt;
}

// The coding facility's default text for a key, the same for the plain and the debug form.
template <CodingKey K>
std::string description(K key) {
  std::string text = "CodingKeys(stringValue: \"";
  text += stringValue(key);
  text += "\", intValue: nil)";
  return text;
}

template <CodingKey K>
std::string debugDescription(K key) {
  return description(key);
}

// Keys hash by case position, one word.
template <class H, CodingKey K>
void hashInto(H& hasher, K key) {
  hasher.combine(static_cast<std::uint64_t>(key));
}

}  // namespace coding
