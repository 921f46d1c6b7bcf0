#include "platform/host/serve/pipeline/batch_pipeline.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <vector>

namespace {

using host::serve::BatchPipeline;

// A store as the pipeline sees it: what jobs write goes into an open batch, a seal takes it, and
// its commit makes it durable or loses it. Each answer is checked against what is durable at the
// moment it is given.
class FakeStore {
 public:
  // Decides each commit: true makes it durable. Runs on the committer thread.
  std::function<bool(int batch)> outcome = [](int) { return true; };

  BatchPipeline<int>::Stages stages() {
    return {
        [this](int& job) {
          std::lock_guard guard(lock);
          open.push_back(job);
          answered.notify_all();
        },
        [this]() -> BatchPipeline<int>::Commit {
          std::vector<int> batch;
          int number = 0;
          {
            std::lock_guard guard(lock);
            batch.swap(open);
            number = ++seals;
          }
          return [this, batch, number] {
            if (!outcome(number)) return false;
            std::lock_guard guard(lock);
            durable.insert(batch.begin(), batch.end());
            return true;
          };
        },
        [this] {
          std::lock_guard guard(lock);
          open.clear();
          ++discards;
        },
        [this](std::vector<int>& jobs, bool ok) {
          std::lock_guard guard(lock);
          for (const int job : jobs) {
            ++answers[job];
            if (ok && !durable.contains(job)) acknowledgedButLost.push_back(job);
            if (ok) ++acknowledged;
          }
          answered.notify_all();
        },
    };
  }

  void waitUntilOpen(std::size_t count) {
    std::unique_lock guard(lock);
    answered.wait(guard, [&] { return open.size() >= count; });
  }
  void waitForAnswers(std::size_t count) {
    std::unique_lock guard(lock);
    answered.wait(guard, [&] { return answers.size() >= count; });
  }

  std::mutex lock;                   // guards everything below
  std::condition_variable answered;  // also told of each job handled
  std::vector<int> open;
  std::set<int> durable;
  std::map<int, int> answers;  // job -> how often answered
  std::vector<int> acknowledgedButLost;
  int acknowledged = 0;
  int seals = 0;
  int discards = 0;
};

// A commit that waits until the test lets it finish, so that jobs are handled while it runs.
class Gate {
 public:
  void wait() {
    std::unique_lock guard(lock_);
    entered_ = true;
    changed_.notify_all();
    changed_.wait(guard, [&] { return open_; });
  }
  void waitUntilEntered() {
    std::unique_lock guard(lock_);
    changed_.wait(guard, [&] { return entered_; });
  }
  void open() {
    std::lock_guard guard(lock_);
    open_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex lock_;  // guards the two flags
  std::condition_variable changed_;
  bool entered_ = false;
  bool open_ = false;
};

TEST(BatchPipeline, AnswersEveryJobOnceAfterItsOwnBatchIsDurable) {
  FakeStore store;
  Gate gate;
  store.outcome = [&](int batch) {
    if (batch == 1) gate.wait();
    return true;
  };
  {
    BatchPipeline<int> pipeline(store.stages());
    pipeline.submit(1);
    gate.waitUntilEntered();
    // Handled while the first batch commits: they make the second batch.
    for (int job = 2; job <= 5; ++job) pipeline.submit(std::move(job));
    store.waitUntilOpen(4);
    gate.open();
    store.waitForAnswers(5);
  }
  EXPECT_EQ(store.seals, 2);
  EXPECT_EQ(store.acknowledged, 5);
  EXPECT_TRUE(store.acknowledgedButLost.empty());
}

// The batch whose commit fails is lost, and so is what was handled while it committed: it may
// rest on the lost rows, and its own rows were discarded with them. Only a later commit that
// succeeds acknowledges anything again.
TEST(BatchPipeline, AFailedCommitLosesItsBatchAndWhatWasHandledMeanwhile) {
  FakeStore store;
  Gate gate;
  store.outcome = [&](int batch) {
    if (batch == 2) gate.wait();
    return batch != 2;
  };
  BatchPipeline<int> pipeline(store.stages());
  pipeline.submit(1);
  store.waitForAnswers(1);
  pipeline.submit(2);
  gate.waitUntilEntered();
  for (int job = 3; job <= 6; ++job) pipeline.submit(std::move(job));
  store.waitUntilOpen(4);
  gate.open();
  store.waitForAnswers(6);
  pipeline.submit(7);
  store.waitForAnswers(7);
  pipeline.stop();

  std::lock_guard guard(store.lock);
  EXPECT_TRUE(store.acknowledgedButLost.empty());
  EXPECT_EQ(store.durable, (std::set<int>{1, 7}));
  EXPECT_EQ(store.acknowledged, 2);
  EXPECT_EQ(store.discards, 1);
}

TEST(BatchPipeline, StopAnswersEveryAcceptedJobAndRefusesLaterOnes) {
  FakeStore store;
  BatchPipeline<int> pipeline(store.stages());
  for (int job = 0; job < 1000; ++job) pipeline.submit(std::move(job));
  pipeline.stop();
  EXPECT_EQ(store.answers.size(), 1000U);
  for (const auto& [job, count] : store.answers) EXPECT_EQ(count, 1) << job;
  EXPECT_FALSE(pipeline.submit(1000));
}

// Many senders and a disk that fails now and then: whatever the interleaving, every job is
// answered once and no acknowledged job is missing from what was made durable. The senders go on
// until enough commits have failed and succeeded.
TEST(BatchPipeline, NeverAcknowledgesWhatIsNotDurableUnderRandomFailures) {
  FakeStore store;
  std::mt19937 random(7);
  std::atomic<int> failures{0};
  std::atomic<int> successes{0};
  store.outcome = [&](int) {
    const bool ok = random() % 3 != 0;  // one committer thread: `random` is its alone
    ++(ok ? successes : failures);
    return ok;
  };
  constexpr int senders = 4;
  std::atomic<int> submitted{0};
  {
    BatchPipeline<int> pipeline(store.stages());
    std::vector<std::thread> threads;
    for (int s = 0; s < senders; ++s) {
      threads.emplace_back([&] {
        while (failures < 20 || successes < 20) {
          pipeline.submit(submitted.fetch_add(1));
          std::this_thread::yield();
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
  }
  EXPECT_EQ(store.answers.size(), static_cast<std::size_t>(submitted.load()));
  for (const auto& [job, count] : store.answers) ASSERT_EQ(count, 1) << job;
  EXPECT_TRUE(store.acknowledgedButLost.empty()) << store.acknowledgedButLost.size();
  EXPECT_GT(store.discards, 0);
}

}  // namespace
