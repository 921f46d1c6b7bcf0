#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A hasher that writes down what it is fed, one line an event, so tests can check the sequence.
struct RecordingHasher {
  void combine(std::uint64_t value) { events.push_back("word " + std::to_string(value)); }
  void combine(std::uint8_t value) { events.push_back("byte " + std::to_string(value)); }
  void combine(std::string_view value) { events.push_back("text " + std::string(value)); }
  template <class T>
  void combine(T) = delete;

  std::vector<std::string> events;
};
