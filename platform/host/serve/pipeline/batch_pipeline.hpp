#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <iterator>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace host::serve {

// Jobs handled on one thread and made durable in batches on another. The owner thread handles
// each job, writing into what the next commit makes durable; whenever no commit is running it
// seals what it has handled, and the committer thread commits that batch while the owner goes on
// with the next jobs. The busier, the larger the batches: one sync serves them all.
//
// A job is answered once, after its own batch: durable, or lost. When a commit fails, what the
// owner handled since that batch was sealed may rest on it, so it is lost too and discarded;
// nothing is answered as durable again until a later batch commits.
template <class Job>
class BatchPipeline {
 public:
  // Made by `seal`: makes the sealed batch durable, false (or a throw) when it cannot.
  using Commit = std::function<bool()>;

  struct Stages {
    std::function<void(Job&)> handle;  // owner thread; must not throw
    std::function<Commit()> seal;      // owner thread, between jobs
    // Owner thread, after a failed commit: forgets what was written since the last seal.
    std::function<void()> discard;
    // Either thread, once per batch: its jobs, and whether what they wrote is durable.
    std::function<void(std::vector<Job>& jobs, bool durable)> answer;
  };

  explicit BatchPipeline(Stages stages)
      : stages_(std::move(stages)), owner_([this] { own(); }), committer_([this] { commit(); }) {}
  ~BatchPipeline() { stop(); }
  BatchPipeline(const BatchPipeline&) = delete;
  BatchPipeline& operator=(const BatchPipeline&) = delete;

  // Takes every job of `jobs`, leaving it empty; once stopping, takes none and says false.
  bool submit(std::vector<Job>& jobs) {
    {
      std::lock_guard guard(lock_);
      if (quit_) return false;
      append(incoming_, jobs);
    }
    changed_.notify_all();
    return true;
  }
  bool submit(Job&& job) {
    std::vector<Job> one;
    one.push_back(std::move(job));
    const bool taken = submit(one);
    if (!taken) job = std::move(one.front());
    return taken;
  }

  // Handles, commits and answers everything submitted so far, then ends both threads.
  void stop() {
    {
      std::lock_guard guard(lock_);
      quit_ = true;
    }
    changed_.notify_all();
    if (owner_.joinable()) owner_.join();
    if (committer_.joinable()) committer_.join();
  }

 private:
  struct Batch {
    std::vector<Job> jobs;
    Commit commit;
  };

  static void append(std::vector<Job>& to, std::vector<Job>& from) {
    if (to.empty()) {
      to.swap(from);
    } else {
      std::move(from.begin(), from.end(), std::back_inserter(to));
      from.clear();
    }
  }

  void own() {
    std::vector<Job> taken;
    std::vector<Job> handled;  // since the last seal
    std::unique_lock guard(lock_);
    for (;;) {
      changed_.wait(guard, [&] {
        return lost_ || !incoming_.empty() || (!committing_ && (!handled.empty() || quit_));
      });
      if (lost_) {
        lost_ = false;
        guard.unlock();
        stages_.discard();
        if (!handled.empty()) stages_.answer(handled, false);
        handled.clear();
        guard.lock();
      } else if (!committing_ && !handled.empty()) {
        guard.unlock();
        Batch batch{std::move(handled), {}};
        handled.clear();
        try {
          batch.commit = stages_.seal();
        } catch (const std::exception&) {
          batch.commit = [] { return false; };
        }
        guard.lock();
        sealed_ = std::move(batch);
        committing_ = true;
        changed_.notify_all();
      } else if (!incoming_.empty()) {
        taken.swap(incoming_);
        guard.unlock();
        for (Job& job : taken) stages_.handle(job);
        append(handled, taken);
        guard.lock();
      } else {
        // Stopping, with nothing handled that is not committed.
        ownerDone_ = true;
        changed_.notify_all();
        return;
      }
    }
  }

  void commit() {
    std::unique_lock guard(lock_);
    for (;;) {
      changed_.wait(guard, [&] { return static_cast<bool>(sealed_.commit) || ownerDone_; });
      if (!sealed_.commit) return;
      Batch batch = std::move(sealed_);
      sealed_ = Batch{};
      guard.unlock();
      bool durable = false;
      try {
        durable = batch.commit();
      } catch (const std::exception&) {
      }
      stages_.answer(batch.jobs, durable);
      batch = Batch{};
      guard.lock();
      committing_ = false;
      if (!durable) lost_ = true;
      changed_.notify_all();
    }
  }

  Stages stages_;
  std::mutex lock_;  // guards the members below, the pipeline's queues and states
  std::condition_variable changed_;
  std::vector<Job> incoming_;  // submitted, not yet taken by the owner
  Batch sealed_;               // sealed, not yet taken by the committer
  bool committing_ = false;    // a batch is sealed or committing
  bool lost_ = false;          // a commit failed and the owner has not discarded since
  bool quit_ = false;
  bool ownerDone_ = false;
  std::thread owner_;
  std::thread committer_;
};

}  // namespace host::serve
