#include "FileWorkers.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace corva {

namespace {

enum : signed char { kPending = -1, kFailed = 0, kSucceeded = 1 };

bool RunGuarded(const std::function<bool(size_t, unsigned)>& job, size_t i, unsigned worker) {
    try {
        return job(i, worker);
    } catch (...) {
        return false;
    }
}

class JobRunner {
public:
    JobRunner(size_t count, const std::function<bool(size_t, unsigned)>& job, bool stopOnFailure)
        : job_(job), results_(count, kPending), stopOnFailure_(stopOnFailure) {}

    void WorkerLoop(unsigned worker) {
        for (;;) {
            size_t i;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (stopped_ || next_ >= results_.size()) return;
                i = next_++;
            }
            const bool ok = RunGuarded(job_, i, worker);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                results_[i] = ok ? kSucceeded : kFailed;
                if (!ok && stopOnFailure_) stopped_ = true;
            }
            changed_.notify_all();
        }
    }

    // The result of job i once known; kPending when it will never run.
    signed char WaitFor(size_t i) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return results_[i] != kPending || (i >= next_ && stopped_); });
        return results_[i];
    }

private:
    const std::function<bool(size_t, unsigned)>& job_;
    std::vector<signed char> results_;
    const bool stopOnFailure_;
    std::mutex mutex_;
    std::condition_variable changed_;
    size_t next_ = 0;
    bool stopped_ = false;
};

}  // namespace

unsigned FileWorkerCount() { return std::max(1u, std::thread::hardware_concurrency()); }

bool RunFileJobs(size_t count, unsigned workers, const std::function<bool(size_t)>& job,
                 const std::function<void(size_t, bool)>& done, bool stopOnFailure) {
    return RunFileJobsOnWorkers(
        count, workers, [&job](size_t i, unsigned) { return job(i); }, done, stopOnFailure);
}

bool RunFileJobsOnWorkers(size_t count, unsigned workers, const std::function<bool(size_t, unsigned)>& job,
                          const std::function<void(size_t, bool)>& done, bool stopOnFailure) {
    workers = static_cast<unsigned>(std::min<size_t>(workers, count));
    bool all = true;
    if (workers <= 1) {
        for (size_t i = 0; i < count; ++i) {
            const bool ok = RunGuarded(job, i, 0);
            if (done) done(i, ok);
            all = all && ok;
            if (!ok && stopOnFailure) return false;
        }
        return all;
    }
    JobRunner runner(count, job, stopOnFailure);
    std::vector<std::thread> threads;
    threads.reserve(workers);
    try {
        for (unsigned w = 0; w < workers; ++w) threads.emplace_back([&runner, w] { runner.WorkerLoop(w); });
    } catch (const std::exception&) {
        // Fewer threads than asked for; with none, this thread does the work.
    }
    // With no thread, this one does the work first. Jobs that never start
    // exist only after a failure stopped the list, so the waiting below ends.
    if (threads.empty()) runner.WorkerLoop(0);
    for (size_t i = 0; i < count; ++i) {
        const signed char r = runner.WaitFor(i);
        if (r == kPending) {
            all = false;  // never started: an earlier job failed
            break;
        }
        all = all && r == kSucceeded;
        if (done) {
            try {
                done(i, r == kSucceeded);
            } catch (...) {
            }
        }
    }
    for (auto& t : threads) t.join();
    return all;
}

}  // namespace corva
