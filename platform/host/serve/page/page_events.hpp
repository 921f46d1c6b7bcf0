#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace host::serve {

// What the open pages hear of, in order: entries of the history once the store has committed
// them, so a page never shows a push that was not answered.
class PageEvents {
 public:
  struct Event {
    std::uint64_t id = 0;
    std::string name;
    std::string data;  // one line of JSON
  };

  // Whether any page listens: a push loop need not build events nobody reads.
  bool listening() const noexcept { return listeners_.load(std::memory_order_relaxed) > 0; }

  // A page's place among the listeners, held while it listens; `leave` (or the end) frees it.
  class Listener {
   public:
    ~Listener() { leave(); }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;
    void leave() {
      if (!left_.exchange(true)) --events_.listeners_;
    }

   private:
    friend class PageEvents;
    explicit Listener(PageEvents& events) : events_(events) {}
    PageEvents& events_;
    std::atomic<bool> left_{false};
  };
  // A place for one more listening page, or nothing when `most` already listen.
  std::shared_ptr<Listener> listen(int most) {
    int count = listeners_.load();
    do {
      if (count >= most) return nullptr;
    } while (!listeners_.compare_exchange_weak(count, count + 1));
    return std::shared_ptr<Listener>(new Listener(*this));
  }

  // Held back until `publish`, or forgotten by `discard`.
  void stage(std::string name, std::string data);
  // What was staged so far, for a caller that commits it apart from what is staged meanwhile.
  std::vector<Event> takeStaged();
  // The store committed what was staged, or the events taken from it.
  void publish();
  void publish(std::vector<Event> events);
  // The commit failed: what was staged never happened.
  void discard();
  // An event that needs no commit.
  void send(std::string name, std::string data);

  // The events after `after`, waiting up to `timeout` for one; nothing on timeout or close. A
  // listener that fell further behind than the events kept, or that counts from an earlier run,
  // gets a "reset" event instead.
  std::vector<Event> after(std::uint64_t after, std::chrono::milliseconds timeout);
  std::uint64_t lastId() const;
  // Wakes every listener for good: the server stops.
  void close();
  bool closed() const;

 private:
  static constexpr std::size_t kept = 512;
  void append(std::vector<Event>& events);

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Event> recent_;
  std::vector<Event> staged_;
  std::uint64_t lastId_ = 0;
  bool closed_ = false;
  std::atomic<int> listeners_{0};
};

}  // namespace host::serve
