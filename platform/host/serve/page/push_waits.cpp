#include "platform/host/serve/page/push_waits.hpp"

#include <algorithm>
#include <utility>

namespace host::serve {

std::unique_ptr<PushWaits::Wait> PushWaits::enter(Key key, std::size_t most) {
  std::lock_guard guard(lock_);
  if (entries_.size() >= most || closed_) return nullptr;
  entries_.push_back({std::move(key), false});
  // Sequentially consistent: the recording thread that misses this count marks its batch
  // unstaged, which wakes this waiter once that batch commits.
  ++waiting_;
  return std::unique_ptr<Wait>(new Wait(*this, std::prev(entries_.end())));
}

PushWaits::Wait::~Wait() {
  std::lock_guard guard(waits_.lock_);
  waits_.entries_.erase(entry_);
  --waits_.waiting_;
}

bool PushWaits::Wait::next(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock guard(waits_.lock_);
  const bool heard =
      waits_.changed_.wait_until(guard, deadline, [&] { return entry_->heard || waits_.closed_; });
  entry_->heard = false;
  return heard && !waits_.closed_;
}

void PushWaits::stage(const HistoryEntry& push) {
  std::lock_guard guard(stagedLock_);
  if (waiting_ == 0) {
    staged_.unstaged = true;
    return;
  }
  staged_.keys.push_back({Kind::push, push.apnsId});
  for (const Delivery& delivery : push.deliveries) {
    staged_.keys.push_back({Kind::activity, delivery.activityId});
  }
  if (push.deliveries.empty() && !push.activityId.empty()) {
    staged_.keys.push_back({Kind::activity, push.activityId});
  }
}

PushWaits::Staged PushWaits::takeStaged() {
  std::lock_guard guard(stagedLock_);
  return std::exchange(staged_, {});
}

void PushWaits::publish(Staged staged) {
  if (staged.keys.empty() && !staged.unstaged) return;
  std::lock_guard guard(lock_);
  bool woke = false;
  for (Entry& entry : entries_) {
    const bool concerned =
        staged.unstaged || std::any_of(staged.keys.begin(), staged.keys.end(), [&](const Key& key) {
          return key.kind == entry.key.kind && key.id == entry.key.id;
        });
    if (concerned) entry.heard = woke = true;
  }
  if (woke) changed_.notify_all();
}

void PushWaits::discard() {
  std::lock_guard guard(stagedLock_);
  staged_ = {};
}

void PushWaits::close() {
  std::lock_guard guard(lock_);
  closed_ = true;
  changed_.notify_all();
}

}  // namespace host::serve
