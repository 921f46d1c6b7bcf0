#pragma once

#include "platform/host/serve/store/push_store.hpp"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace host::serve {

// Page requests that wait for a push, or for an activity's next push, to be committed. The thread
// that records pushes stages what each one concerns while anyone waits; once the store commits
// them, the waiters they concern wake and read the store.
class PushWaits {
 public:
  enum class Kind : std::uint8_t { push, activity };
  struct Key {
    Kind kind = Kind::push;
    std::string id;  // an apns-id, or an activity's id
  };

  // What a batch concerns, from staging to its commit.
  struct Staged {
    std::vector<Key> keys;
    // Some push of the batch was recorded before anyone waited, and not staged: every waiter
    // looks again.
    bool unstaged = false;
  };

 private:
  struct Entry {
    Key key;
    bool heard = false;
  };

 public:
  // One waiting request; it stops waiting when destroyed.
  class Wait {
   public:
    ~Wait();
    Wait(const Wait&) = delete;
    Wait& operator=(const Wait&) = delete;
    // Until a commit concerns the key or may (true), or until the deadline or the server stops
    // (false).
    bool next(std::chrono::steady_clock::time_point deadline);

   private:
    friend class PushWaits;
    Wait(PushWaits& waits, std::list<Entry>::iterator entry) : waits_(waits), entry_(entry) {}
    PushWaits& waits_;
    std::list<Entry>::iterator entry_;
  };

  // A place to wait for `key`, or nothing when `most` requests wait already. Taken before the
  // waiter first reads the store, so that no commit after that read goes unheard.
  std::unique_ptr<Wait> enter(Key key, std::size_t most);

  // The recording thread: what a push it recorded concerns, its apns-id and the activities it
  // reached.
  void stage(const HistoryEntry& push);
  Staged takeStaged();
  void publish(Staged staged);
  void discard();
  // Wakes every waiter for good: the server stops.
  void close();

 private:
  std::atomic<std::size_t> waiting_{0};
  std::mutex stagedLock_;  // guards staged_
  Staged staged_;
  std::mutex lock_;  // guards entries_ and closed_
  std::condition_variable changed_;
  std::list<Entry> entries_;
  bool closed_ = false;
};

}  // namespace host::serve
