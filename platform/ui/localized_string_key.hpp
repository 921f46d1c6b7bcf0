#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace ui {

// A localization table: keys to formats, in which "%@" stands for the next argument and "%%" for
// a percent sign.
using StringTable = std::map<std::string, std::string, std::less<>>;

// A localizable text made by interpolation: literal pieces and string arguments. Its key is the
// literals with "%@" in place of each argument (a literal "%" doubled), as the platform forms it.
class LocalizedStringKey {
 public:
  LocalizedStringKey& literal(std::string_view text);
  LocalizedStringKey& argument(std::string_view text);

  const std::string& key() const noexcept { return key_; }
  const std::vector<std::string>& arguments() const noexcept { return arguments_; }

  // The text to show: the table's format for the key with the arguments put in, or the
  // interpolated text itself where the table has no entry.
  std::string resolved(const StringTable& table) const;

  friend bool operator==(const LocalizedStringKey&, const LocalizedStringKey&) = default;

 private:
  std::string key_;
  std::vector<std::string> arguments_;
  std::string interpolated_;
};

}  // namespace ui
