#include "platform/host/serve/page/timeline_replay.hpp"

#include "platform/host/input/activity_input.hpp"
#include "platform/host/serve/common/untrusted_json.hpp"
#include "platform/host/serve/page/history_json.hpp"

#include <chrono>
#include <optional>

namespace host::serve {
namespace {

std::int64_t nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

bool startsAnActivity(const ActivityInput& input) {
  if (input.failure || input.events.empty()) return false;
  const ActivityEvent& event = input.events.front();
  return event.form == ActivityEvent::Form::document ||
         (event.form == ActivityEvent::Form::push && event.event == PushEvent::start);
}

}  // namespace

ReplayedTimeline replayTimeline(PushService& service, const ActivityRegistry& registry,
                                std::span<const std::string_view> lines, const std::string& type) {
  ReplayedTimeline out;
  out.json = "[";
  std::optional<ActivityRecord> current;
  for (const std::string_view line : lines) {
    ++out.lines;
    if (out.json.size() > 1) out.json += ',';
    const ActivityInput one = readActivityInput(line, registry, current ? current->type : type);
    if (startsAnActivity(one)) {
      auto started = service.startLocally(line, nowMs());
      if (auto* activity = std::get_if<ActivityRecord>(&started)) {
        current = *activity;
        out.json +=
            "{\"activity\":" +
            activityJson(service.store(), *activity, service.devices().clock().at(nowMs())) + "}";
      } else {
        ++out.notApplied;
        out.json += "{\"error\":" + jsonString(std::get<std::string>(started)) + "}";
      }
    } else if (current) {
      const HistoryEntry pushed = service.pushTo(*current, std::string(line), nowMs());
      if (!pushed.shown) ++out.notApplied;
      out.json += "{\"push\":" + pushJson(pushed) + "}";
      current = service.store().activity(current->id);
    } else {
      ++out.notApplied;
      out.json += "{\"error\":\"an update or end before any start\"}";
    }
  }
  out.json += "]";
  return out;
}

}  // namespace host::serve
