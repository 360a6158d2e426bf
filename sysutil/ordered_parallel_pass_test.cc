#include "sysutil/ordered_parallel_pass.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace veilbox {
namespace {

std::string Message(const PassOutcome& outcome) {
  try {
    if (outcome.error) std::rethrow_exception(outcome.error);
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

TEST(OrderedParallelPass, RunsEveryIndexOnce) {
  for (unsigned workers : {1u, 2u, 8u}) {
    for (std::size_t count : {0u, 1u, 3u, 200u}) {
      std::vector<std::atomic<int>> runs(count);
      const PassOutcome outcome = RunOrderedPass(count, workers, [&](std::size_t i) { ++runs[i]; });
      EXPECT_EQ(outcome.first_failure, count);
      EXPECT_FALSE(outcome.error);
      EXPECT_FALSE(outcome.stopped);
      for (std::size_t i = 0; i < count; ++i) EXPECT_EQ(runs[i], 1) << workers << " " << i;
    }
  }
}

// Runs: every index once, a run's indices in order on one thread; the
// lowest failing index decides, and the rest of its run is not done.
TEST(OrderedParallelPass, RunsOfNeighboursGoToOneWorkerEach) {
  const std::vector<std::size_t> starts = {0, 1, 5, 6, 30, 31};
  const std::size_t count = 40;
  for (unsigned workers : {1u, 2u, 8u}) {
    std::vector<std::atomic<int>> runs(count);
    std::vector<std::thread::id> by(count);
    std::vector<std::size_t> order;
    std::mutex order_mutex;
    PassOutcome outcome = RunOrderedPassInRuns(starts, count, workers, [&](std::size_t i) {
      ++runs[i];
      by[i] = std::this_thread::get_id();
      std::lock_guard<std::mutex> lock(order_mutex);
      order.push_back(i);
    });
    EXPECT_EQ(outcome.first_failure, count);
    EXPECT_FALSE(outcome.error);
    for (std::size_t i = 0; i < count; ++i) EXPECT_EQ(runs[i], 1) << workers << " " << i;
    for (std::size_t i = 6; i < 30; ++i) EXPECT_EQ(by[i], by[6]) << i;
    std::vector<std::size_t> run_of_six;
    for (std::size_t i : order)
      if (i >= 6 && i < 30) run_of_six.push_back(i);
    EXPECT_TRUE(std::is_sorted(run_of_six.begin(), run_of_six.end()));

    for (std::atomic<int>& r : runs) r = 0;
    outcome = RunOrderedPassInRuns(starts, count, workers, [&](std::size_t i) {
      ++runs[i];
      if (i == 12 || i == 35) throw std::runtime_error("at " + std::to_string(i));
    });
    EXPECT_EQ(outcome.first_failure, 12u);
    EXPECT_EQ(Message(outcome), "at 12");
    for (std::size_t i = 0; i <= 12; ++i) EXPECT_EQ(runs[i], 1) << i;
    for (std::size_t i = 13; i < 30; ++i) EXPECT_EQ(runs[i], 0) << i;
  }
}

TEST(OrderedParallelPass, TheLowestFailingIndexDecidesWhateverTheWorkers) {
  for (unsigned workers : {1u, 2u, 3u, 8u}) {
    std::vector<std::atomic<int>> runs(100);
    const PassOutcome outcome = RunOrderedPass(100, workers, [&](std::size_t i) {
      ++runs[i];
      if (i == 40 || i == 17 || i == 90) throw std::runtime_error("bad " + std::to_string(i));
    });
    EXPECT_EQ(outcome.first_failure, 17u) << workers;
    EXPECT_EQ(Message(outcome), "bad 17");
    for (std::size_t i = 0; i <= 17; ++i) EXPECT_EQ(runs[i], 1) << i;
    // Nothing is handed out once the failure is known: with one worker
    // that is right after it. With several, the others may have gone on
    // while it ran (how far depends on the scheduler), each index once.
    for (std::size_t i = 18; i < 100; ++i) {
      if (workers == 1) {
        EXPECT_EQ(runs[i], 0) << i;
      }
      EXPECT_LE(runs[i], 1) << workers << " " << i;
    }
  }
}

// A later index fails first in time; the earlier failure still decides.
TEST(OrderedParallelPass, AnEarlierFailureThatComesLaterInTimeWins) {
  std::mutex mutex;
  std::condition_variable changed;
  bool later_failed = false;
  const PassOutcome outcome = RunOrderedPass(12, 2, [&](std::size_t i) {
    if (i == 2) {
      std::unique_lock<std::mutex> lock(mutex);
      changed.wait(lock, [&] { return later_failed; });
      throw std::runtime_error("two");
    }
    if (i == 9) {
      {
        std::lock_guard<std::mutex> lock(mutex);
        later_failed = true;
      }
      changed.notify_all();
      throw std::runtime_error("nine");
    }
  });
  EXPECT_EQ(outcome.first_failure, 2u);
  EXPECT_EQ(Message(outcome), "two");
}

TEST(OrderedParallelPass, StopsHandingOutWhenAsked) {
  for (unsigned workers : {1u, 4u}) {
    std::atomic<int> asked{0};
    std::atomic<int> ran{0};
    const PassOutcome outcome = RunOrderedPass(
        50, workers, [&](std::size_t) { ++ran; }, [&] { return ++asked > 5; });
    EXPECT_TRUE(outcome.stopped);
    EXPECT_EQ(outcome.first_failure, 50u);
    EXPECT_EQ(ran, 5);
  }
}

}  // namespace
}  // namespace veilbox
