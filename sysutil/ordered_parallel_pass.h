// An ordered parallel pass: one job per index, 0 to count - 1, run on a
// few worker threads, whose outcome is the one a plain loop over the
// indices would have had.
//
// Indices are handed out in increasing order. When a job fails (raises
// anything), no index above it is handed out any more; the jobs already
// running finish, and the pass reports the failure of the lowest index.
// Since every index below a failed one was handed out before it, that is
// the first failure in index order whatever the number of workers and
// however the threads were scheduled. Jobs above the first failure may
// have run (a loop would not have run them); the caller undoes their work
// as it undoes that of the jobs before the failure.
#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <vector>

namespace veilbox {

struct PassOutcome {
  // The lowest index whose job failed; the index count when none did.
  std::size_t first_failure = 0;
  // What that job raised; empty when no job failed.
  std::exception_ptr error;
  // The pass stopped early because stop() asked for it.
  bool stopped = false;
};

// Runs job(i) for every index i below count on `workers` threads (the
// calling thread being one of them; with 1 worker, or a single index, no
// thread is started). stop, when given, is asked before each index is
// handed out, on whichever worker hands it out; when it says true, no more
// indices are handed out. job and stop must be safe to call from several
// threads at once.
PassOutcome RunOrderedPass(std::size_t count, unsigned workers,
                           const std::function<void(std::size_t index)>& job,
                           const std::function<bool()>& stop = {});

// The same pass, handing out runs of neighbouring indices instead of
// single ones: run_starts holds the first index of each run, ascending
// from 0, the last run ending at count. A worker does a run's indices in
// order, so that work which shares something with its neighbours (files
// of one directory) is done by one worker while the others are elsewhere.
// The outcome is still that of a plain loop over the indices: when a job
// fails, no run above its own is handed out any more, the rest of its run
// is not done, and first_failure is the lowest failing index.
PassOutcome RunOrderedPassInRuns(const std::vector<std::size_t>& run_starts, std::size_t count,
                                 unsigned workers,
                                 const std::function<void(std::size_t index)>& job);

}  // namespace veilbox
