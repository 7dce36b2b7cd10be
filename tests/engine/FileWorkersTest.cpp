#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "engine/Batch.h"
#include "engine/FileWorkers.h"
#include "engine/LockedFile.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

using namespace testing_support;

TEST(FileWorkers, EveryJobRunsOnceAndIsReportedInListOrder) {
    for (unsigned workers : {1u, 2u, 4u}) {
        const size_t count = 57;
        std::vector<std::atomic<int>> runs(count);
        std::vector<size_t> reported;
        bool ok = corva::RunFileJobs(
            count, workers,
            [&](size_t i) {
                ++runs[i];
                return true;
            },
            [&](size_t i, bool r) {
                EXPECT_TRUE(r);
                reported.push_back(i);
            },
            true);
        EXPECT_TRUE(ok);
        for (size_t i = 0; i < count; ++i) EXPECT_EQ(runs[i].load(), 1) << i;
        ASSERT_EQ(reported.size(), count);
        for (size_t i = 0; i < count; ++i) EXPECT_EQ(reported[i], i);
    }
    EXPECT_TRUE(corva::RunFileJobs(0, 2, [](size_t) { return false; }, nullptr, true));
}

// Two jobs that can only finish together prove they run at the same time.
TEST(FileWorkers, JobsRunSideBySide) {
    std::mutex m;
    std::condition_variable cv;
    int arrived = 0;
    std::set<std::thread::id> threads;
    bool ok = corva::RunFileJobs(
        2, 2,
        [&](size_t) {
            std::unique_lock<std::mutex> lock(m);
            threads.insert(std::this_thread::get_id());
            ++arrived;
            cv.notify_all();
            cv.wait(lock, [&] { return arrived == 2; });
            return true;
        },
        nullptr, true);
    EXPECT_TRUE(ok);
    EXPECT_EQ(threads.size(), 2u);
    EXPECT_EQ(threads.count(std::this_thread::get_id()), 0u) << "the caller only collects";
}

TEST(FileWorkers, NoJobStartsOnceOneHasFailed) {
    // Jobs after the failing one wait until the failure has been reported,
    // so each other worker holds at most one of them when the list stops,
    // however the threads are scheduled.
    for (unsigned workers : {1u, 2u, 3u}) {
        std::mutex m;
        std::condition_variable released;
        bool failureReported = false;
        std::vector<size_t> started;
        std::vector<std::pair<size_t, bool>> reported;
        bool ok = corva::RunFileJobs(
            20, workers,
            [&](size_t i) {
                std::unique_lock<std::mutex> lock(m);
                started.push_back(i);
                if (i == 5) return false;
                if (i > 5) released.wait(lock, [&] { return failureReported; });
                return true;
            },
            [&](size_t i, bool r) {
                std::lock_guard<std::mutex> lock(m);
                reported.emplace_back(i, r);
                if (!r) {
                    failureReported = true;
                    released.notify_all();
                }
            },
            true);
        EXPECT_FALSE(ok);
        // Jobs 0..5 all ran; besides them, one job per other worker at most.
        EXPECT_LE(started.size(), 6u + (workers - 1)) << workers;
        ASSERT_GE(reported.size(), 6u);
        for (size_t k = 0; k < reported.size(); ++k) {
            EXPECT_EQ(reported[k].first, k);
            EXPECT_EQ(reported[k].second, k != 5);
        }
        EXPECT_EQ(reported.size(), started.size()) << "every job that ran is reported";
    }
}

TEST(FileWorkers, AThrowingJobCountsAsAFailure) {
    std::vector<bool> results;
    bool ok = corva::RunFileJobs(
        4, 2,
        [](size_t i) -> bool {
            if (i == 2) throw std::runtime_error("job");
            return true;
        },
        [&](size_t, bool r) { results.push_back(r); }, false);
    EXPECT_FALSE(ok);
    EXPECT_EQ(results, (std::vector<bool>{true, true, false, true}));
}

// A folder handed to several workers: every file locked, flushed and
// verified; then unlocked back, byte for byte.
TEST(FileWorkers, AFolderOfManySmallFilesLocksAndUnlocksOnSeveralWorkers) {
    TempDir dir;
    const std::wstring folder = dir / L"many";
    ASSERT_TRUE(MakeFolder(folder));
    ASSERT_TRUE(MakeFolder(folder + L"/sub"));
    std::vector<std::pair<std::wstring, Bytes>> files;
    for (int i = 0; i < 24; ++i) {
        std::wstring name = (i % 3 ? folder : folder + L"/sub") + L"/f" + std::to_wstring(i) + L".txt";
        Bytes content = PseudoRandom(static_cast<size_t>(1000 + 97 * i), static_cast<uint32_t>(i));
        ASSERT_TRUE(WriteFileBytes(name, content));
        files.emplace_back(name, content);
    }
    ASSERT_TRUE(LockPath(folder, "many files", nullptr));
    for (const auto& f : files) {
        EXPECT_FALSE(plat::PathExists(f.first));
        EXPECT_EQ(corva::VerifyLockedFile("many files", f.first + L".corvastine", nullptr), corva::kOk);
    }
    ASSERT_TRUE(UnlockPath(folder, "many files", nullptr));
    for (const auto& f : files) EXPECT_EQ(ReadFileBytes(f.first), f.second);
}

// Jobs told their worker can keep state per worker: a worker number is
// below the count asked for, belongs to one thread, and never runs two jobs
// at once.
TEST(FileWorkers, AWorkerNumberBelongsToOneThreadAndOneJobAtATime) {
    for (unsigned workers : {1u, 2u, 3u}) {
        const size_t count = 40;
        std::vector<std::atomic<int>> busy(workers);
        std::mutex m;
        std::vector<std::set<std::thread::id>> threads(workers);
        std::atomic<int> overlaps{0}, outOfRange{0};
        std::vector<std::atomic<int>> runs(count);
        EXPECT_TRUE(corva::RunFileJobsOnWorkers(
            count, workers,
            [&](size_t i, unsigned worker) {
                if (worker >= workers) return ++outOfRange, false;
                if (busy[worker].fetch_add(1) != 0) ++overlaps;
                {
                    std::lock_guard<std::mutex> lock(m);
                    threads[worker].insert(std::this_thread::get_id());
                }
                ++runs[i];
                std::this_thread::yield();
                busy[worker].fetch_sub(1);
                return true;
            },
            nullptr, true));
        EXPECT_EQ(outOfRange.load(), 0);
        EXPECT_EQ(overlaps.load(), 0);
        for (const auto& t : threads) EXPECT_LE(t.size(), 1u);
        for (size_t i = 0; i < count; ++i) EXPECT_EQ(runs[i].load(), 1) << i;
    }
}
