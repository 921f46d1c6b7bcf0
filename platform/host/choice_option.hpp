#pragma once

#include <CLI/CLI.hpp>

#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace host {

// An option whose value is one of a closed set, named by a table: an unknown name is a usage
// error that lists the valid ones, and a known one becomes its value as it is read.
template <class T>
CLI::Option* addChoice(CLI::App& app, const std::string& flag, T& out,
                       std::span<const std::pair<std::string_view, T>> table,
                       const std::string& help) {
  std::vector<std::string> names;
  for (const auto& entry : table) names.emplace_back(entry.first);
  std::string described = help + ": ";
  for (std::size_t i = 0; i < names.size(); ++i) described += (i > 0 ? ", " : "") + names[i];
  return app
      .add_option_function<std::string>(
          flag,
          [&out, table](const std::string& name) {
            for (const auto& [text, value] : table) {
              if (text == name) out = value;
            }
          },
          described)
      ->check(CLI::IsMember(names));
}

}  // namespace host
