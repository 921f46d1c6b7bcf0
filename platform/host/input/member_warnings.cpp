#include "platform/host/input/member_warnings.hpp"

#include "platform/foundation/base64.hpp"
#include "platform/foundation/string.hpp"
#include "platform/image/image_cache.hpp"

#include <algorithm>
#include <array>
#include <cstdio>

namespace host {
namespace {

using coding::JsonValue;

// Longer names are never compared: the table below stays on the stack.
constexpr std::size_t nearNameLimit = 64;

struct Folded {
  std::array<char, nearNameLimit> letters{};
  std::size_t size = 0;
  std::string_view view() const { return {letters.data(), size}; }
};

// ASCII letters lowered, separators dropped; other bytes as they are.
Folded fold(std::string_view name) {
  Folded out;
  for (char c : name) {
    if (c == '_' || c == '-' || c == '.' || c == ' ') continue;
    out.letters[out.size++] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return out;
}

// Edits (insertion, deletion, substitution, swap of neighbours) from one to the other.
std::size_t editDistance(std::string_view a, std::string_view b) {
  std::array<std::size_t, nearNameLimit + 1> before{};
  std::array<std::size_t, nearNameLimit + 1> previous{};
  std::array<std::size_t, nearNameLimit + 1> current{};
  for (std::size_t j = 0; j <= b.size(); ++j) previous[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    current[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        current[j] = std::min(current[j], before[j - 2] + 1);
      }
    }
    before = previous;
    previous = current;
  }
  return previous[b.size()];
}

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

std::string quoted(std::string_view name) {
  return "\"" + std::string(name) + "\"";
}

const JsonValue& memberOf(const coding::JsonDocument& document, const JsonValue& object,
                          std::string_view name, JsonValue& slot) {
  slot = JsonValue{};
  document.lookUp(object.node, std::span<const std::string_view>(&name, 1),
                  std::span<JsonValue>(&slot, 1));
  return slot;
}

std::optional<std::string> fractionProblem(double value) {
  if (value >= 0 && value <= 1) return std::nullopt;
  // From 2 on, a value past 1 is more likely a percent than a fraction overshooting.
  if (value >= 2 && value <= 100) {
    return number(value) +
           " reads as a percent, but the views take a fraction from 0 to 1: the bar is drawn "
           "full (" +
           number(value) + "% is " + number(value / 100) + ")";
  }
  return number(value) + " lies outside 0 to 1: the bar is drawn clamped, " +
         (value < 0 ? "empty" : "full");
}

// Whether the views' own decoding gives an image. The same icon comes with every update, so what
// each text gave is kept a while, failures too; the cache guards itself.
bool givesImage(std::string_view text) {
  static image::ImageCache decoded(image::ImageCache::Limits{8, std::size_t{1} << 20});
  return decoded.fromBase64(text).has_value();
}

std::optional<std::string> imageProblem(std::string_view text) {
  constexpr std::string_view fallback = ": the views show no image from it, and their fallback";
  if (text.empty()) return "an empty text" + std::string(fallback);
  if (text.starts_with("data:")) {
    return "a data: URL; the views decode bare base64, without the \"data:...;base64,\" "
           "prefix" +
           std::string(fallback);
  }
  const auto bytes = foundation::base64Decode(text);
  if (!bytes) {
    const bool spaced = text.find_first_of(" \t\r\n") != std::string_view::npos;
    return std::string(spaced ? "not base64 as the views read it: it holds spaces or line breaks"
                              : "not base64 (standard alphabet, padded to a multiple of four)") +
           std::string(fallback);
  }
  if (givesImage(text)) return std::nullopt;
  return "its " + std::to_string(bytes->size()) +
         " bytes are no image the views can show (PNG, JPEG, GIF or WebP within their size "
         "limits)" +
         std::string(fallback);
}

}  // namespace

bool isNearName(std::string_view name, std::string_view known) {
  if (name.size() > nearNameLimit || known.size() > nearNameLimit) return false;
  const Folded a = fold(name);
  const Folded b = fold(known);
  if (a.size == 0 || b.size == 0) return false;
  if (a.view() == b.view()) return true;
  const std::size_t shorter = std::min(a.size, b.size);
  if (shorter >= 6 && (a.view().starts_with(b.view()) || b.view().starts_with(a.view()))) {
    return true;
  }
  // One slip in a short name, two in a longer one; very short names are too alike to judge.
  const std::size_t allowed = b.size >= 8 ? 2 : (b.size >= 4 ? 1 : 0);
  const std::size_t apart = a.size > b.size ? a.size - b.size : b.size - a.size;
  return allowed > 0 && apart <= allowed && editDistance(a.view(), b.view()) <= allowed;
}

void addMemberWarnings(const coding::JsonDocument& document, const JsonValue& object,
                       const widgets::RecordMembers& members, const widgets::ContentStateUses* uses,
                       std::string_view path, std::vector<Warning>& out) {
  if (object.type != JsonValue::Type::object) return;
  const auto at = [&](std::string_view name) { return std::string(path) + std::string(name); };
  JsonValue slot;
  if (uses) {
    for (std::string_view name : uses->fractions) {
      const JsonValue& value = memberOf(document, object, name, slot);
      if (value.type != JsonValue::Type::number) continue;
      if (auto problem = fractionProblem(value.number)) out.push_back({0, at(name), *problem});
    }
    for (std::string_view name : uses->base64Images) {
      const JsonValue& value = memberOf(document, object, name, slot);
      if (value.type != JsonValue::Type::string) continue;
      if (auto problem = imageProblem(value.text)) out.push_back({0, at(name), *problem});
    }
  }

  // Only an optional member that is absent can have been misnamed: a required one would not
  // decode, and a present one was found.
  std::vector<std::string_view> absent;
  for (std::string_view name : members.optional) {
    const JsonValue::Type type = memberOf(document, object, name, slot).type;
    if (type == JsonValue::Type::missing || type == JsonValue::Type::null) absent.push_back(name);
  }
  if (absent.empty()) return;
  const auto known = [&](std::string_view name) {
    return std::any_of(members.names.begin(), members.names.end(), [&](std::string_view key) {
      return foundation::canonicallyEqual(key, name);
    });
  };
  document.forEachMember(object.node, [&](std::string_view name, const JsonValue&) {
    if (absent.empty()) return;
    const auto meant = std::find_if(absent.begin(), absent.end(), [&](std::string_view option) {
      return isNearName(name, option);
    });
    if (meant == absent.end() || known(name)) return;
    out.push_back({0, at(name),
                   "no member of the record is named so, and it is ignored; did you mean " +
                       quoted(*meant) +
                       "? That optional member is then absent, and the views "
                       "show their fallback for it"});
    // One warning for each member missed: a sender's repeated slips add nothing.
    absent.erase(meant);
  });
}

}  // namespace host
