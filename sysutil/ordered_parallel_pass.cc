#include "sysutil/ordered_parallel_pass.h"

#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace veilbox {
namespace {

class Pass {
 public:
  Pass(std::size_t count, const std::function<void(std::size_t)>& job,
       const std::function<bool()>& stop)
      : count_(count), job_(job), stop_(stop) {
    outcome_.first_failure = count;
  }

  void Work() {
    for (std::size_t index; Next(&index);) {
      try {
        job_(index);
      } catch (...) {
        Fail(index, std::current_exception());
      }
    }
  }

  PassOutcome outcome() const { return outcome_; }

 private:
  bool Next(std::size_t* index) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (next_ >= count_ || next_ > outcome_.first_failure || outcome_.stopped) return false;
    if (stop_ && stop_()) {
      outcome_.stopped = true;
      return false;
    }
    *index = next_++;
    return true;
  }

  void Fail(std::size_t index, std::exception_ptr error) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index < outcome_.first_failure) {
      outcome_.first_failure = index;
      outcome_.error = std::move(error);
    }
  }

  const std::size_t count_;
  const std::function<void(std::size_t)>& job_;
  const std::function<bool()>& stop_;
  std::mutex mutex_;
  std::size_t next_ = 0;
  PassOutcome outcome_;
};

}  // namespace

PassOutcome RunOrderedPass(std::size_t count, unsigned workers,
                           const std::function<void(std::size_t)>& job,
                           const std::function<bool()>& stop) {
  Pass pass(count, job, stop);
  std::size_t helpers = workers > 1 ? workers - 1 : 0;
  if (helpers >= count) helpers = count > 0 ? count - 1 : 0;
  std::vector<std::jthread> threads;
  threads.reserve(helpers);
  for (std::size_t i = 0; i < helpers; ++i) {
    try {
      threads.emplace_back([&pass] { pass.Work(); });
    } catch (const std::system_error&) {
      break;  // no more threads to be had: the ones there are do the work
    }
  }
  pass.Work();
  for (std::jthread& thread : threads) thread.join();
  return pass.outcome();
}

PassOutcome RunOrderedPassInRuns(const std::vector<std::size_t>& run_starts, std::size_t count,
                                 unsigned workers, const std::function<void(std::size_t)>& job) {
  // The index each run is at; a run that fails stays at its failing one.
  std::vector<std::size_t> at(run_starts.size(), count);
  PassOutcome outcome = RunOrderedPass(run_starts.size(), workers, [&](std::size_t run) {
    const std::size_t end = run + 1 < run_starts.size() ? run_starts[run + 1] : count;
    for (at[run] = run_starts[run]; at[run] < end; ++at[run]) job(at[run]);
  });
  outcome.first_failure = outcome.error ? at[outcome.first_failure] : count;
  return outcome;
}

}  // namespace veilbox
