// Several files handled at once: a list of independent jobs (one file each)
// run on worker threads, started strictly in list order, with the results
// handed back on the calling thread in list order as well. Used where many
// small files are locked or unlocked, so that the password stretching of
// one file overlaps with another's. Jobs must not throw (an escaping
// exception counts as a failure) and must not depend on one another.
#pragma once

#include <cstddef>
#include <functional>

namespace corva {

// Workers for file jobs: one per processor core.
unsigned FileWorkerCount();

// Runs job(0) .. job(count - 1) on up to `workers` threads (on the calling
// thread alone when workers or count is 1). done(i, ok), when given, is
// called on the calling thread for every job that ran, in index order.
// stopOnFailure: once a job has failed, no further job starts; jobs already
// running (with several workers these may come after the failed one in the
// list) finish and are reported. True when every job ran and succeeded.
bool RunFileJobs(size_t count, unsigned workers, const std::function<bool(size_t)>& job,
                 const std::function<void(size_t, bool)>& done, bool stopOnFailure);
// The same, with job(i, worker): worker, from 0 to workers - 1, names the
// thread that runs the job (the calling thread is worker 0 when it does the
// work), so that jobs can keep state of their own thread, one slot each.
bool RunFileJobsOnWorkers(size_t count, unsigned workers, const std::function<bool(size_t, unsigned)>& job,
                          const std::function<void(size_t, bool)>& done, bool stopOnFailure);

}  // namespace corva
