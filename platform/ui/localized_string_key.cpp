#include "platform/ui/localized_string_key.hpp"

namespace ui {

LocalizedStringKey& LocalizedStringKey::literal(std::string_view text) {
  for (char c : text) {
    key_ += c;
    if (c == '%') key_ += '%';
  }
  interpolated_ += text;
  return *this;
}

LocalizedStringKey& LocalizedStringKey::argument(std::string_view text) {
  key_ += "%@";
  arguments_.emplace_back(text);
  interpolated_ += text;
  return *this;
}

std::string LocalizedStringKey::resolved(const StringTable& table) const {
  const auto entry = table.find(key_);
  if (entry == table.end()) return interpolated_;
  const std::string& format = entry->second;
  std::string out;
  std::size_t next = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size()) {
      if (format[i + 1] == '%') {
        out += '%';
        ++i;
        continue;
      }
      if (format[i + 1] == '@') {
        // A format that asks for more arguments than the key has gets nothing for the rest.
        if (next < arguments_.size()) out += arguments_[next++];
        ++i;
        continue;
      }
    }
    out += format[i];
  }
  return out;
}

}  // namespace ui
