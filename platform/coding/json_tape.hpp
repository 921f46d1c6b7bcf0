#pragma once

#include "platform/coding/json_document.hpp"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace coding::detail {

// The values of a read document laid out for lookups by name: the members of each object side by
// side, so a lookup is one pass over a short array. Arrays keep no elements: nothing reads them
// past their type. Reusable: clear() keeps the memory for the next document.
class JsonTape {
 public:
  struct Member {
    std::string_view name;
    JsonValue value;
  };

  void clear() {
    members_.clear();
    open_.clear();
    containers_.clear();
    root = JsonValue{};
  }

  // Members of the objects still open gather on a stack; closing an object moves its own members
  // together, after those of the objects nested in it.
  std::size_t openObject() const { return open_.size(); }

  void addMember(std::string_view name, const JsonValue& value) { open_.push_back({name, value}); }

  // A member to fill in place: copying a value just written field by field stalls on the
  // store buffer. The reference lasts until the next member is added; once the objects nested
  // in its value are closed, lastMember() finds it again.
  Member& addMember() { return open_.emplace_back(); }
  Member& lastMember() { return open_.back(); }

  // Written into the value in place, as members are.
  void closeObject(std::size_t mark, JsonValue& out) {
    const auto first = static_cast<std::uint32_t>(members_.size());
    if (mark == 0 && members_.empty()) {
      // The first object closed that holds all open members (a document of one flat object):
      // its members need no copy.
      members_.swap(open_);
    } else {
      members_.insert(members_.end(), open_.begin() + static_cast<std::ptrdiff_t>(mark),
                      open_.end());
    }
    open_.resize(mark);
    container(JsonValue::Type::object, first, static_cast<std::uint32_t>(members_.size()) - first,
              out);
  }

  void array(JsonValue& out) { container(JsonValue::Type::array, 0, 0, out); }

  // An object's members in document order; nothing for any other node.
  std::span<const Member> members(std::uint32_t node) const {
    if (node >= containers_.size() || containers_[node].type != JsonValue::Type::object) return {};
    return std::span<const Member>(members_).subspan(containers_[node].first,
                                                     containers_[node].count);
  }

  JsonValue root;

 private:
  struct Container {
    JsonValue::Type type;
    std::uint32_t first;
    std::uint32_t count;
  };

  void container(JsonValue::Type type, std::uint32_t first, std::uint32_t count, JsonValue& out) {
    out.type = type;
    out.node = static_cast<std::uint32_t>(containers_.size());
    containers_.push_back({type, first, count});
  }

  std::vector<Member> members_;
  std::vector<Member> open_;
  std::vector<Container> containers_;
};

}  // namespace coding::detail
