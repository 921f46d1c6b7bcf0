#pragma once

#include "platform/widgets/activity_configuration.hpp"
#include "platform/widgets/system_version.hpp"

#include <tuple>
#include <utility>
#include <vector>

namespace widgets {

// A widget is a type whose body is an activity configuration; a list of widgets registers each
// in order.
template <class W>
concept Widget = requires(const W& widget, std::vector<ActivityType>& types) {
  widget.body().registerInto(types);
};

template <class W>
concept WidgetList = requires(const W& list, std::vector<ActivityType>& types,
                              SystemVersion system) {
  list.registerInto(types, system);
};

// Widgets side by side, in the order written.
template <Widget... Ws>
struct TupleWidget {
  std::tuple<Ws...> widgets;

  void registerInto(std::vector<ActivityType>& types, SystemVersion) const {
    std::apply([&](const auto&... widget) { (widget.body().registerInto(types), ...); }, widgets);
  }
};

// A group that exists only from a system version on: below it, it holds no widgets.
template <WidgetList Content>
struct LimitedAvailabilityWidget {
  SystemVersion minimum;
  Content content;

  void registerInto(std::vector<ActivityType>& types, SystemVersion system) const {
    if (system >= minimum) content.registerInto(types, system);
  }
};

// Builds a bundle's widget list as the declarative builder does.
struct WidgetBundleBuilder {
  template <Widget... Ws>
  static TupleWidget<Ws...> buildBlock(Ws... widgets) {
    return TupleWidget<Ws...>{std::tuple<Ws...>(std::move(widgets)...)};
  }
  template <WidgetList Content>
  static Content buildBlock(Content content) {
    return content;
  }
  template <WidgetList Content>
  static LimitedAvailabilityWidget<Content> buildLimitedAvailability(SystemVersion minimum,
                                                                     Content content) {
    return {minimum, std::move(content)};
  }
};

// The activity types a bundle registers on a given system, in registration order.
template <class Bundle>
std::vector<ActivityType> registeredActivities(const Bundle& bundle, SystemVersion system) {
  std::vector<ActivityType> types;
  bundle.body().registerInto(types, system);
  return types;
}

}  // namespace widgets
