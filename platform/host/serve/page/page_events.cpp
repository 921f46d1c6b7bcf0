#include "platform/host/serve/page/page_events.hpp"

#include <utility>

namespace host::serve {

void PageEvents::stage(std::string name, std::string data) {
  std::lock_guard guard(mutex_);
  // A page shows the newest; under a flood it reloads rather than hold every event.
  if (staged_.size() >= kept) staged_.erase(staged_.begin());
  staged_.push_back({0, std::move(name), std::move(data)});
}

std::vector<PageEvents::Event> PageEvents::takeStaged() {
  std::lock_guard guard(mutex_);
  return std::exchange(staged_, {});
}

void PageEvents::publish() {
  publish(takeStaged());
}

void PageEvents::publish(std::vector<Event> events) {
  if (events.empty()) return;
  std::lock_guard guard(mutex_);
  append(events);
  changed_.notify_all();
}

void PageEvents::discard() {
  std::lock_guard guard(mutex_);
  staged_.clear();
}

void PageEvents::send(std::string name, std::string data) {
  std::lock_guard guard(mutex_);
  std::vector<Event> one{{0, std::move(name), std::move(data)}};
  append(one);
  changed_.notify_all();
}

void PageEvents::append(std::vector<Event>& events) {
  for (Event& event : events) {
    event.id = ++lastId_;
    recent_.push_back(std::move(event));
    if (recent_.size() > kept) recent_.pop_front();
  }
}

std::vector<PageEvents::Event> PageEvents::after(std::uint64_t after,
                                                 std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  std::vector<Event> events;
  // A page that heard events of an earlier run of the server knows nothing of this one.
  if (after > lastId_) {
    events.push_back({lastId_, "reset", "{}"});
    return events;
  }
  changed_.wait_for(lock, timeout, [&] { return closed_ || lastId_ > after; });
  if (closed_ || lastId_ <= after) return events;
  if (recent_.empty() || recent_.front().id > after + 1) {
    events.push_back({lastId_, "reset", "{}"});
    return events;
  }
  for (const Event& event : recent_) {
    if (event.id > after) events.push_back(event);
  }
  return events;
}

std::uint64_t PageEvents::lastId() const {
  std::lock_guard guard(mutex_);
  return lastId_;
}

void PageEvents::close() {
  std::lock_guard guard(mutex_);
  closed_ = true;
  changed_.notify_all();
}

bool PageEvents::closed() const {
  std::lock_guard guard(mutex_);
  return closed_;
}

}  // namespace host::serve
