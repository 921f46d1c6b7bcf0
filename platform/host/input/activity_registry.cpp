#include "platform/host/input/activity_registry.hpp"

namespace host {

std::optional<ActivityRegistry::Match> ActivityRegistry::find(std::string_view name) const {
  for (const auto& type : types_) {
    if (type.name == name) return Match{&type, false};
    if (type.contentStateName == name) return Match{&type, true};
  }
  return std::nullopt;
}

const widgets::ActivityType* ActivityRegistry::activity(std::string_view attributesType) const {
  for (const auto& type : types_) {
    if (type.name == attributesType) return &type;
  }
  return nullptr;
}

std::string ActivityRegistry::names(bool withContentStates) const {
  std::string list;
  for (const auto& type : types_) {
    if (!list.empty()) list += ", ";
    list += type.name;
    if (withContentStates) list += ", " + type.contentStateName;
  }
  return list;
}

std::string ActivityRegistry::whyNotFound(std::string_view name) const {
  if (types_.empty()) {
    return "no activity types are registered on iOS " + system_.description() +
           ": the extension's widgets need a later system, so '" + std::string(name) +
           "' cannot be read";
  }
  return "no activity type '" + std::string(name) + "' is registered; registered: " + names(false);
}

}  // namespace host
