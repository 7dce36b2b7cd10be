// The batch worker: order, status texts, percent done, stop, restart and
// destruction while running; lock and unlock batches over files and trees.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <thread>

#include "BatchTestSupport.h"
#include "engine/Batch.h"
#include "engine/LockedFile.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

#ifdef _WIN32
#include <windows.h>
#endif

using namespace testing_support;
using namespace batch_test;

namespace {

const char kPassword[] = "correct horse";

std::wstring Status(BatchProgress& batch, bool* stop = nullptr) {
    bool s = false;
    std::wstring text;
    batch.GetProgress(&s, &text);
    if (stop) *stop = s;
    return text;
}

// A tree of three levels with two files at each level.
void MakeTree(const std::wstring& root) {
    ASSERT_TRUE(MakeFolder(root));
    ASSERT_TRUE(MakeFolder(Join(root, L"one")));
    ASSERT_TRUE(MakeFolder(Join(Join(root, L"one"), L"two")));
    ASSERT_TRUE(WriteFileText(Join(root, L"top1.txt"), "top one"));
    ASSERT_TRUE(WriteFileText(Join(root, L"top2.txt"), "top two"));
    ASSERT_TRUE(WriteFileText(Join(Join(root, L"one"), L"mid1.txt"), "middle one"));
    ASSERT_TRUE(WriteFileText(Join(Join(root, L"one"), L"mid2.txt"), "middle two"));
    ASSERT_TRUE(WriteFileBytes(Join(Join(Join(root, L"one"), L"two"), L"deep1.bin"), PseudoRandom(5000, 1)));
    ASSERT_TRUE(WriteFileBytes(Join(Join(Join(root, L"one"), L"two"), L"deep2.bin"), Bytes()));
}

std::vector<std::wstring> TreeFiles(const std::wstring& root) {
    return {Join(root, L"top1.txt"), Join(root, L"top2.txt"), Join(Join(root, L"one"), L"mid1.txt"),
            Join(Join(root, L"one"), L"mid2.txt"), Join(Join(Join(root, L"one"), L"two"), L"deep1.bin"),
            Join(Join(Join(root, L"one"), L"two"), L"deep2.bin")};
}

}  // namespace

TEST(BatchProgressTest, StatusFormatIsTheProgramsOwn) {
    EXPECT_STREQ(kBatchStatusFormat, L"Tocal files:%d processed files:%d");
}

TEST(BatchProgressTest, EmptySelectionFinishesAtOnceWithStatusUnchanged) {
    LockBatch batch({}, kPassword, nullptr);
    EXPECT_EQ(batch.GetRunState(), BatchProgress::kIdle);
    EXPECT_FALSE(batch.IsStopFlagSet());
    EXPECT_EQ(batch.ExitCode(), -1);
    RunToEnd(batch);
    bool stop = false;
    EXPECT_EQ(Status(batch, &stop), L"");
    EXPECT_TRUE(stop);
    EXPECT_EQ(batch.PercentDone(), 0);
    EXPECT_EQ(batch.ExitCode(), 0);
    EXPECT_EQ(batch.GetRunState(), BatchProgress::kIdle);
}

TEST(BatchProgressTest, ThreePathsLastFirstWithOneStatusEach) {
    FakeWipe fake;
    ASSERT_TRUE(fake.Ready());
    fake.Reset(0, /*hold=*/true);
    TempDir dir;
    const std::wstring a = dir / L"a.txt", b = dir / L"b.txt", c = dir / L"c.txt";
    for (const auto& p : {a, b, c}) ASSERT_TRUE(WriteFileText(p, "data"));

    ShredBatch batch({a, b, c}, nullptr, fake.Path());
    ASSERT_TRUE(batch.Start(0));
    fake.WaitCalls(1);
    EXPECT_EQ(fake.Call(0), ExpectedWipeCall(c));
    bool stop = true;
    std::wstring file;
    batch.GetProgress(&stop, nullptr, &file);
    EXPECT_EQ(file, c) << "the file under work shows from the start";
    EXPECT_EQ(Status(batch, &stop), L"Tocal files:3 processed files:0");
    EXPECT_FALSE(stop);
    EXPECT_EQ(batch.GetRunState(), BatchProgress::kRunning);

    fake.Release(1);
    fake.WaitCalls(2);
    EXPECT_EQ(fake.Call(1), ExpectedWipeCall(b));
    batch.GetProgress(nullptr, nullptr, &file);
    EXPECT_EQ(file, b);
    EXPECT_EQ(Status(batch, &stop), L"Tocal files:3 processed files:1");
    EXPECT_FALSE(stop);
    EXPECT_EQ(batch.PercentDone(), 33);
    EXPECT_FALSE(plat::PathExists(c));  // wiped, then deleted
    EXPECT_TRUE(plat::PathExists(b));

    fake.Release(2);
    fake.WaitCalls(3);
    EXPECT_EQ(fake.Call(2), ExpectedWipeCall(a));
    EXPECT_EQ(Status(batch, &stop), L"Tocal files:3 processed files:2");
    EXPECT_EQ(batch.PercentDone(), 66);

    fake.Release(3);
    WaitForStopFlag(batch);
    batch.Stop();
    EXPECT_EQ(Status(batch, &stop), L"Tocal files:3 processed files:3");
    EXPECT_TRUE(stop);
    EXPECT_EQ(batch.PercentDone(), 100);
    EXPECT_EQ(fake.CallCount(), 3);
    EXPECT_EQ(batch.ExitCode(), 0);
    EXPECT_TRUE(ListNames(dir.Path()).empty());
}

TEST(BatchProgressTest, SecondStartWhileRunningIsRefused) {
    FakeWipe fake;
    ASSERT_TRUE(fake.Ready());
    fake.Reset(1, true);
    TempDir dir;
    ASSERT_TRUE(WriteFileText(dir / L"x", "x"));
    ShredBatch batch({dir / L"x"}, nullptr, fake.Path());
    ASSERT_TRUE(batch.Start(7));
    EXPECT_FALSE(batch.Start(0));
    fake.WaitCalls(1);
    EXPECT_FALSE(batch.Start(0));
    EXPECT_EQ(batch.GetRunState(), BatchProgress::kRunning);
    EXPECT_EQ(batch.RunParameter(), 7);
    fake.ReleaseAll();
    WaitForStopFlag(batch);
    batch.Stop();
    EXPECT_EQ(batch.GetRunState(), BatchProgress::kIdle);
    EXPECT_EQ(fake.CallCount(), 1);
    // The wipe failed: the file stays.
    EXPECT_EQ(ReadFileBytes(dir / L"x"), Bytes({'x'}));
}

TEST(BatchProgressTest, StopTakesEffectAfterThePathInProgress) {
    FakeWipe fake;
    ASSERT_TRUE(fake.Ready());
    fake.Reset(0, true);
    TempDir dir;
    const std::wstring a = dir / L"a", b = dir / L"b", c = dir / L"c";
    for (const auto& p : {a, b, c}) ASSERT_TRUE(WriteFileText(p, "keep"));
    ShredBatch batch({a, b, c}, nullptr, fake.Path());
    ASSERT_TRUE(batch.Start(0));
    fake.WaitCalls(1);
    std::thread stopper([&] { batch.Stop(); });
    WaitForStopFlag(batch);  // set by Stop, which now waits for the worker
    fake.Release(1);
    stopper.join();
    EXPECT_EQ(batch.GetRunState(), BatchProgress::kIdle);
    EXPECT_EQ(fake.CallCount(), 1);
    EXPECT_EQ(Status(batch), L"Tocal files:3 processed files:1");
    EXPECT_FALSE(plat::PathExists(c));
    EXPECT_TRUE(plat::PathExists(a));
    EXPECT_TRUE(plat::PathExists(b));
    EXPECT_EQ(batch.ExitCode(), 0);
    batch.Stop();  // again: nothing left to wait for
}

TEST(BatchProgressTest, StopBeforeStartHandlesNothing) {
    TempDir dir;
    ASSERT_TRUE(WriteFileText(dir / L"f.txt", "plain"));
    LockBatch batch({dir / L"f.txt"}, kPassword, nullptr);
    batch.Stop();
    RunToEnd(batch);
    EXPECT_EQ(Status(batch), L"");
    EXPECT_EQ(ListNames(dir.Path()), std::vector<std::wstring>{L"f.txt"});
}

TEST(BatchProgressTest, DestroyingARunningBatchWaitsForItsWorker) {
    FakeWipe fake;
    ASSERT_TRUE(fake.Ready());
    fake.Reset(1, true);
    TempDir dir;
    std::vector<std::wstring> paths;
    for (int i = 0; i < 4; ++i) {
        paths.push_back(dir / (L"f" + std::to_wstring(i)));
        ASSERT_TRUE(WriteFileText(paths.back(), "x"));
    }
    auto* batch = new ShredBatch(paths, nullptr, fake.Path());
    ASSERT_TRUE(batch->Start(0));
    fake.WaitCalls(1);
    std::thread destroyer([&] { delete batch; });
    fake.ReleaseAll();
    destroyer.join();
    // Every call that began has returned before the object went away, and
    // the stop flag cut the batch short or it ran to its end.
    EXPECT_GE(fake.CallCount(), 1);
    EXPECT_LE(fake.CallCount(), 4);
    EXPECT_EQ(fake.ReturnedCount(), fake.CallCount());
}

TEST(BatchProgressTest, DestroyingAnIdleOrFinishedBatchReturns) {
    {
        UnlockBatch never({L"nothing"}, kPassword, nullptr);
        EXPECT_EQ(never.GetRunState(), BatchProgress::kIdle);
        EXPECT_FALSE(never.IsStopFlagSet());
    }
    {
        UnlockBatch finished({}, kPassword, nullptr);
        ASSERT_TRUE(finished.Start(0));
        WaitForStopFlag(finished);
        EXPECT_TRUE(finished.IsStopFlagSet());
    }  // the worker may still be ending here; the destructor waits for it
}

TEST(BatchProgressTest, PercentDoneIsAlsoTheDialogsTickCounter) {
    ShredBatch batch({});
    batch.SetPercentDone(0);
    EXPECT_EQ(batch.AddPercentDone(1), 1);
    EXPECT_EQ(batch.AddPercentDone(1), 2);
    EXPECT_EQ(batch.PercentDone(), 2);
}

TEST(LockBatchTest, LocksFilesAndTreesAndUnlocksThemAgain) {
    TempDir dir;
    const std::wstring tree = dir / L"tree";
    MakeTree(tree);
    const std::wstring f1 = dir / L"first.txt", f2 = dir / L"second.txt";
    ASSERT_TRUE(WriteFileText(f1, "first"));
    ASSERT_TRUE(WriteFileText(f2, "second"));
    std::vector<Bytes> before;
    for (const auto& f : TreeFiles(tree)) before.push_back(ReadFileBytes(f));

    {
        LockBatch batch({f1, tree, f2}, kPassword, nullptr);
        RunToEnd(batch);
        EXPECT_EQ(Status(batch), L"Tocal files:3 processed files:3");
        EXPECT_EQ(batch.PercentDone(), 100);
    }
    for (const auto& f : TreeFiles(tree)) {
        EXPECT_FALSE(plat::PathExists(f)) << plat::WideToUtf8(f);
        EXPECT_TRUE(IsLockedFile(f + L".corvastine")) << plat::WideToUtf8(f);
    }
    EXPECT_TRUE(IsLockedFile(f1 + L".corvastine"));
    EXPECT_TRUE(IsLockedFile(f2 + L".corvastine"));
    EXPECT_TRUE(plat::IsDirectory(Join(Join(tree, L"one"), L"two")));

    {
        UnlockBatch batch({f1 + L".corvastine", tree, f2 + L".corvastine"}, kPassword, nullptr);
        RunToEnd(batch);
        EXPECT_EQ(Status(batch), L"Tocal files:3 processed files:3");
    }
    const auto files = TreeFiles(tree);
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(ReadFileBytes(files[i]), before[i]) << plat::WideToUtf8(files[i]);
        EXPECT_FALSE(plat::PathExists(files[i] + L".corvastine"));
    }
    EXPECT_EQ(ReadFileBytes(f1), Bytes({'f', 'i', 'r', 's', 't'}));
}

TEST(LockBatchTest, AFailingEntryDoesNotStopTheBatch) {
    TempDir dir;
    ASSERT_TRUE(WriteFileText(dir / L"a.txt", "a"));
    ASSERT_TRUE(WriteFileText(dir / L"c.txt", "c"));
    LockBatch batch({dir / L"a.txt", dir / L"missing.txt", dir / L"c.txt"}, kPassword, nullptr);
    RunToEnd(batch);
    EXPECT_EQ(Status(batch), L"Tocal files:3 processed files:3");
    EXPECT_EQ(ListNames(dir.Path()), (std::vector<std::wstring>{L"a.txt.corvastine", L"c.txt.corvastine"}));
    const auto failures = batch.Failures();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].path, dir / L"missing.txt");
    EXPECT_EQ(failures[0].reason, corva::FailureReason::Missing);
    EXPECT_EQ(batch.FilesDone(), 2u);
    EXPECT_FALSE(batch.WasCancelled());
}

namespace {

// The failures of a batch as path -> reason, whatever the order.
std::map<std::wstring, corva::FailureReason> FailureMap(BatchProgress& batch) {
    std::map<std::wstring, corva::FailureReason> out;
    for (const auto& f : batch.Failures()) EXPECT_TRUE(out.emplace(f.path, f.reason).second) << plat::WideToUtf8(f.path);
    return out;
}

}  // namespace

// A drive that fills up, or a file that cannot be read: the file is named with the
// reason, left plain and whole, and nothing of it stays behind.
TEST(LockBatchTest, AFullDriveOrAReadErrorIsNamedAsTheReason) {
    TempDir dir;
    const std::wstring folder = dir / L"docs";
    ASSERT_TRUE(MakeFolder(folder));
    const Bytes big = PseudoRandom(400000, 5);
    ASSERT_TRUE(WriteFileBytes(Join(folder, L"big.bin"), big));
    plat::SetWriteBudgetForTesting(1000);
    LockBatch batch({folder}, kPassword, nullptr);
    RunToEnd(batch);
    plat::SetWriteBudgetForTesting(-1);
    const std::map<std::wstring, corva::FailureReason> expected{{Join(folder, L"big.bin"), corva::FailureReason::NoRoom}};
    EXPECT_EQ(FailureMap(batch), expected);
    EXPECT_EQ(ReadFileBytes(Join(folder, L"big.bin")), big);
    EXPECT_EQ(ListNames(folder), std::vector<std::wstring>{L"big.bin"});

    // A read error of the plain file is named as one, not as a file that
    // another program changed or holds.
    plat::SetReadFaultForTesting(1, plat::ReadFault::Error);
    LockBatch reading({folder}, kPassword, nullptr);
    RunToEnd(reading);
    const bool hit = !plat::ReadFaultPendingForTesting();
    plat::SetReadFaultForTesting(0, plat::ReadFault::Error);
    ASSERT_TRUE(hit);
    const std::map<std::wstring, corva::FailureReason> readError{
        {Join(folder, L"big.bin"), corva::FailureReason::DeviceError}};
    EXPECT_EQ(FailureMap(reading), readError);
    EXPECT_EQ(ReadFileBytes(Join(folder, L"big.bin")), big);
    EXPECT_EQ(ListNames(folder), std::vector<std::wstring>{L"big.bin"});
}

// A path the system refuses for its length is said to be too long, not
// silently passed over.
TEST(LockBatchTest, APathTooLongForTheSystemIsNamedAsSuch) {
    TempDir dir;
    const std::wstring tooLong = dir / (std::wstring(300, L'n') + L".txt");
    for (int kind = 0; kind < 2; ++kind) {
        std::unique_ptr<BatchProgress> batch;
        if (kind == 0) batch.reset(new LockBatch({tooLong}, kPassword, nullptr));
        else batch.reset(new ShredBatch({tooLong}, nullptr, BesideTest(kWipeLibraryName)));
        RunToEnd(*batch);
        const std::map<std::wstring, corva::FailureReason> expected{{tooLong, corva::FailureReason::PathTooLong}};
        EXPECT_EQ(FailureMap(*batch), expected) << kind;
    }
}

// The program's own files (its settings file, its libraries, the program
// itself) are never locked, unlocked over or shredded: selected, met in a
// walked folder, or named another way. The summary names each of them.
TEST(LockBatchTest, ProtectedFilesAreRefusedAndNamed) {
    TempDir dir;
    const std::wstring folder = dir / L"program";
    ASSERT_TRUE(MakeFolder(folder));
    const std::wstring config = Join(folder, L"config.xml"), program = Join(folder, L"tool.exe"),
                       other = Join(folder, L"readme.txt");
    ASSERT_TRUE(WriteFileText(config, "<settings/>"));
    ASSERT_TRUE(WriteFileText(program, "MZ program"));
    ASSERT_TRUE(WriteFileText(other, "read me"));
    // An earlier locked copy of a settings file: unlocking it would replace
    // the settings file.
    ASSERT_TRUE(WriteFileText(dir / L"config.xml", "<old/>"));
    ASSERT_TRUE(LockOneFile(dir / L"config.xml", kPassword, nullptr));
    ASSERT_TRUE(plat::RenameNoReplace(dir / L"config.xml.corvastine", Join(folder, L"config.xml.corvastine")));
    const std::vector<std::wstring> own = {program, config};
    const std::wstring otherSpelling = Join(Join(folder, L"."), L"config.xml");
    {
        LockBatch batch({folder, otherSpelling}, kPassword, nullptr);
        batch.SetProtectedPaths(own);
        RunToEnd(batch);
        const std::vector<corva::BatchFailure> failures = batch.Failures();
        ASSERT_EQ(failures.size(), 3u);
        EXPECT_EQ(failures[0].path, otherSpelling);  // the last selected path comes first
        for (const auto& f : failures) EXPECT_EQ(f.reason, corva::FailureReason::OwnFile) << plat::WideToUtf8(f.path);
        EXPECT_EQ(FailureMap(batch).count(program), 1u);
        EXPECT_EQ(FailureMap(batch).count(config), 1u);
    }
    EXPECT_EQ(ReadFileBytes(config), Bytes({'<', 's', 'e', 't', 't', 'i', 'n', 'g', 's', '/', '>'}));
    EXPECT_TRUE(plat::PathExists(program));
    EXPECT_TRUE(IsLockedFile(other + L".corvastine"));
    EXPECT_TRUE(plat::PathExists(Join(folder, L"config.xml.corvastine.corvastine")));  // not own: locked again
    ASSERT_TRUE(UnlockOneFile(Join(folder, L"config.xml.corvastine.corvastine"), kPassword, nullptr));
    {
        UnlockBatch batch({folder}, kPassword, nullptr);
        batch.SetProtectedPaths(own);
        RunToEnd(batch);
        const std::map<std::wstring, corva::FailureReason> expected{
            {Join(folder, L"config.xml.corvastine"), corva::FailureReason::OwnFile}};
        EXPECT_EQ(FailureMap(batch), expected);
    }
    EXPECT_EQ(ReadFileBytes(config).size(), 11u) << "the settings file was replaced";
    EXPECT_EQ(ReadFileBytes(other).size(), 7u);
    {
        ShredBatch batch({folder}, nullptr, BesideTest(kWipeLibraryName));
        batch.SetProtectedPaths(own);
        RunToEnd(batch);
        const std::map<std::wstring, corva::FailureReason> expected{{config, corva::FailureReason::OwnFile},
                                                                    {program, corva::FailureReason::OwnFile}};
        EXPECT_EQ(FailureMap(batch), expected);
        EXPECT_EQ(batch.FilesDone(), 2u);
    }
    EXPECT_EQ(ListNames(folder), (std::vector<std::wstring>{L"config.xml", L"tool.exe"}));
    EXPECT_EQ(ReadFileBytes(config).size(), 11u);
}

// A deep file whose locked and temporary names pass MAX_PATH on Windows.
TEST(LockBatchTest, FilesWithLongPathsAreLockedUnlockedAndShredded) {
    TempDir dir;
    std::wstring folder = dir.Path();
    while (folder.size() < 200) {
        folder = Join(folder, std::wstring(30, L'd'));
        ASSERT_TRUE(MakeFolder(folder));
    }
    const std::wstring file = Join(folder, std::wstring(250 - folder.size(), L'f'));
    const Bytes content = PseudoRandom(20000, 8);
    ASSERT_TRUE(WriteFileBytes(file, content));
    {
        LockBatch batch({file}, kPassword, nullptr);
        RunToEnd(batch);
        EXPECT_TRUE(batch.Failures().empty());
    }
    ASSERT_TRUE(IsLockedFile(file + L".corvastine"));
    {
        UnlockBatch batch({folder}, kPassword, nullptr);
        RunToEnd(batch);
        EXPECT_TRUE(batch.Failures().empty());
    }
    EXPECT_EQ(ReadFileBytes(file), content);
    {
        ShredBatch batch({folder}, nullptr, BesideTest(kWipeLibraryName));
        RunToEnd(batch);
        EXPECT_TRUE(batch.Failures().empty());
    }
    EXPECT_FALSE(plat::PathExists(folder));
}

TEST(LockBatchTest, UnlockOfAFolderGoesOnPastPlainAndFailingFiles) {
    TempDir dir;
    const std::wstring folder = dir / L"mixed";
    ASSERT_TRUE(MakeFolder(folder));
    for (int i = 0; i < 6; ++i) {
        const std::wstring f = Join(folder, L"doc" + std::to_wstring(i) + L".txt");
        ASSERT_TRUE(WriteFileText(f, "document " + std::to_string(i)));
        ASSERT_TRUE(LockOneFile(f, kPassword, nullptr));
    }
    ASSERT_TRUE(WriteFileText(Join(folder, L"plain.txt"), "never locked"));
    // One file locked under an older password, one damaged.
    ASSERT_TRUE(WriteFileText(Join(folder, L"old.txt"), "older password"));
    ASSERT_TRUE(LockOneFile(Join(folder, L"old.txt"), "an older password", nullptr));
    ASSERT_TRUE(WriteFileBytes(Join(folder, L"bad.bin"), PseudoRandom(4000, 3)));
    ASSERT_TRUE(LockOneFile(Join(folder, L"bad.bin"), kPassword, nullptr));
    Bytes bad = ReadFileBytes(Join(folder, L"bad.bin.corvastine"));
    bad[172 + 16 * 10] ^= 0x04;
    ASSERT_TRUE(WriteFileBytes(Join(folder, L"bad.bin.corvastine"), bad));
    const Bytes old = ReadFileBytes(Join(folder, L"old.txt.corvastine"));

    // Whatever order the system lists the folder in, every good locked file
    // is unlocked and the two that cannot be are left exactly as they were,
    // each named with its reason; the plain file is nothing to unlock.
    UnlockBatch batch({folder}, kPassword, nullptr);
    RunToEnd(batch);
    const std::map<std::wstring, corva::FailureReason> expected{
        {Join(folder, L"old.txt.corvastine"), corva::FailureReason::WrongPassword},
        {Join(folder, L"bad.bin.corvastine"), corva::FailureReason::Damaged}};
    EXPECT_EQ(FailureMap(batch), expected);
    EXPECT_EQ(batch.FilesDone(), 6u);
    for (int i = 0; i < 6; ++i) {
        const std::wstring f = Join(folder, L"doc" + std::to_wstring(i) + L".txt");
        EXPECT_EQ(ReadFileBytes(f).size(), 10u) << i;
        EXPECT_FALSE(plat::PathExists(f + L".corvastine")) << i;
    }
    EXPECT_EQ(ReadFileBytes(Join(folder, L"plain.txt")).size(), 12u);
    EXPECT_EQ(ReadFileBytes(Join(folder, L"old.txt.corvastine")), old);
    EXPECT_EQ(ReadFileBytes(Join(folder, L"bad.bin.corvastine")), bad);
    EXPECT_EQ(ListNames(folder).size(), 9u) << "nothing else in the folder";
}

TEST(LockBatchTest, LockingALockedFileLocksItAgain) {
    TempDir dir;
    ASSERT_TRUE(WriteFileText(dir / L"a", "a"));
    ASSERT_TRUE(LockPath(dir / L"a", kPassword, nullptr));
    ASSERT_TRUE(LockPath(dir / L"a.corvastine", kPassword, nullptr));
    EXPECT_EQ(ListNames(dir.Path()), std::vector<std::wstring>{L"a.corvastine.corvastine"});
    EXPECT_TRUE(UnlockPath(dir / L"a.corvastine.corvastine", kPassword, nullptr));
    EXPECT_TRUE(UnlockPath(dir / L"a.corvastine", kPassword, nullptr));
    EXPECT_EQ(ReadFileBytes(dir / L"a"), Bytes({'a'}));
}

namespace {

void StopAfterFirstPath(BatchProgress* batch, int handled, void*) {
    if (handled == 1) batch->Stop();  // from the worker: sets the flag, does not wait
}

}  // namespace

TEST(LockBatchTest, LockAndUnlockBatchesRunFromTheLastPathToTheFirst) {
    TempDir dir;
    const std::wstring a = dir / L"a.txt", b = dir / L"b.txt", c = dir / L"c.txt";
    for (const auto& p : {a, b, c}) ASSERT_TRUE(WriteFileText(p, "order"));
    {
        LockBatch batch({a, b, c}, kPassword, nullptr);
        batch.SetAfterPathHookForTesting(StopAfterFirstPath, nullptr);
        RunToEnd(batch);
        EXPECT_EQ(Status(batch), L"Tocal files:3 processed files:1");
    }
    EXPECT_EQ(ListNames(dir.Path()), (std::vector<std::wstring>{L"a.txt", L"b.txt", L"c.txt.corvastine"}));

    ASSERT_TRUE(LockOneFile(a, kPassword, nullptr));
    {
        UnlockBatch batch({a + L".corvastine", c + L".corvastine"}, kPassword, nullptr);
        batch.SetAfterPathHookForTesting(StopAfterFirstPath, nullptr);
        RunToEnd(batch);
        EXPECT_EQ(Status(batch), L"Tocal files:2 processed files:1");
    }
    EXPECT_EQ(ListNames(dir.Path()), (std::vector<std::wstring>{L"a.txt.corvastine", L"b.txt", L"c.txt"}));
}

namespace {

struct MidFileStop {
    BatchProgress* batch = nullptr;
    std::atomic<int> calls{0};
};
MidFileStop* g_midFileStop = nullptr;

// Runs inside the lock of the batch's first file, between writing its
// locked copy and reading it back: holds the worker there until the owner's
// Stop has set the stop flag.
void HoldUntilStopped(plat::File&) {
    if (g_midFileStop->calls.fetch_add(1) != 0) return;
    while (!g_midFileStop->batch->IsStopFlagSet()) std::this_thread::yield();
}

// Every file of a folder, after a stop: plain with its content, or locked
// whole (and then no plain copy), nothing else beside them. Returns how
// many were locked.
size_t ExpectEachPlainOrLocked(const std::wstring& folder, const std::vector<std::wstring>& files,
                               const std::vector<Bytes>& contents) {
    size_t locked = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        const bool plain = plat::PathExists(files[i]);
        EXPECT_NE(plain, plat::PathExists(files[i] + L".corvastine")) << plat::WideToUtf8(files[i]);
        if (plain) {
            EXPECT_EQ(ReadFileBytes(files[i]), contents[i]) << plat::WideToUtf8(files[i]);
        } else {
            EXPECT_EQ(corva::VerifyLockedFile(kPassword, files[i] + L".corvastine", nullptr), corva::kOk);
            ++locked;
        }
    }
    EXPECT_EQ(ListNames(folder).size(), files.size()) << "nothing else in the folder";
    return locked;
}

}  // namespace

TEST(LockBatchTest, AStopInTheMiddleOfAFileLeavesItPlainAndTheRestUntouched) {
    TempDir dir;
    std::vector<std::wstring> paths;
    std::vector<Bytes> contents;
    for (int i = 0; i < 5; ++i) {
        paths.push_back(dir / (L"f" + std::to_wstring(i) + L".bin"));
        contents.push_back(PseudoRandom(i == 4 ? 3000000 : 20000, static_cast<uint32_t>(i + 7)));
        ASSERT_TRUE(WriteFileBytes(paths.back(), contents.back()));
    }
    MidFileStop stop;
    g_midFileStop = &stop;
    corva::SetBeforeVerifyHookForTesting(HoldUntilStopped);
    {
        LockBatch batch(paths, kPassword, nullptr);
        stop.batch = &batch;
        ASSERT_TRUE(batch.Start(0));
        while (stop.calls.load() == 0) std::this_thread::yield();
        batch.Stop();  // while f4 is written but not yet read back
        EXPECT_TRUE(batch.WasCancelled());
        EXPECT_TRUE(batch.Failures().empty()) << "a file left because of the stop is no failure";
        EXPECT_EQ(batch.FilesDone(), 0u);
    }
    corva::SetBeforeVerifyHookForTesting(nullptr);
    EXPECT_EQ(stop.calls.load(), 1);
    // The file in progress is plain again, its locked copy discarded; the
    // others were not touched.
    EXPECT_EQ(ExpectEachPlainOrLocked(dir.Path(), paths, contents), 0u);
}

TEST(LockBatchTest, AStopInsideAFolderEndsItBetweenFiles) {
    TempDir dir;
    const std::wstring folder = dir / L"many";
    ASSERT_TRUE(MakeFolder(folder));
    std::vector<std::wstring> files;
    std::vector<Bytes> contents;
    for (int i = 0; i < 24; ++i) {
        files.push_back(Join(folder, L"f" + std::to_wstring(i) + L".bin"));
        contents.push_back(PseudoRandom(3000 + static_cast<size_t>(i), static_cast<uint32_t>(i + 40)));
        ASSERT_TRUE(WriteFileBytes(files.back(), contents.back()));
    }
    MidFileStop stop;
    g_midFileStop = &stop;
    corva::SetBeforeVerifyHookForTesting(HoldUntilStopped);
    LockBatch batch({folder}, kPassword, nullptr);
    stop.batch = &batch;
    ASSERT_TRUE(batch.Start(0));
    while (stop.calls.load() == 0) std::this_thread::yield();
    batch.Stop();
    corva::SetBeforeVerifyHookForTesting(nullptr);
    const size_t locked = ExpectEachPlainOrLocked(folder, files, contents);
    EXPECT_LT(locked, files.size()) << "the folder ran to its end";
    EXPECT_EQ(batch.FilesDone(), locked);
    EXPECT_TRUE(batch.WasCancelled());
    EXPECT_TRUE(batch.Failures().empty());
}

// The pipelines poll their stop between chunks: a large file stops at once,
// its pending output is discarded and its source stays as it was.
TEST(LockBatchTest, APipelineAskedToStopDiscardsItsOutputAndKeepsTheSource) {
    TempDir dir;
    const std::wstring big = dir / L"big.bin";
    const Bytes content = PseudoRandom(6 * 1024 * 1024 + 5, 77);
    ASSERT_TRUE(WriteFileBytes(big, content));
    for (int stopAt : {1, 3}) {
        SCOPED_TRACE(stopAt);
        int polls = 0;
        corva::PipelineControl control;
        control.stopRequested = [&] { return ++polls >= stopAt; };
        EXPECT_EQ(corva::LockFile(big, kPassword, nullptr, nullptr, &control), corva::kCancelled);
        EXPECT_EQ(ReadFileBytes(big), content);
        EXPECT_EQ(ListNames(dir.Path()), std::vector<std::wstring>{L"big.bin"});
    }
    ASSERT_EQ(corva::LockFile(big, kPassword, nullptr), corva::kOk);
    const Bytes locked = ReadFileBytes(big + L".corvastine");
    for (int stopAt : {1, 4}) {
        SCOPED_TRACE(stopAt);
        int polls = 0;
        corva::PipelineControl control;
        control.stopRequested = [&] { return ++polls >= stopAt; };
        EXPECT_EQ(corva::UnlockFile(big + L".corvastine", kPassword, false, nullptr, &control), corva::kCancelled);
        EXPECT_EQ(ReadFileBytes(big + L".corvastine"), locked);
        EXPECT_EQ(ListNames(dir.Path()), std::vector<std::wstring>{L"big.bin.corvastine"});
    }
}

// A cancel racing a batch at different moments: whatever it meets, each
// file ends plain or locked whole, and what the batch says it did matches
// the folder. (The suite also runs under ThreadSanitizer.)
TEST(LockBatchTest, ACancelRacingABatchLeavesEveryFilePlainOrLockedWhole) {
    for (size_t stopAfter : {size_t(0), size_t(1), size_t(3), size_t(7)}) {
        SCOPED_TRACE(stopAfter);
        TempDir dir;
        const std::wstring folder = dir / L"race";
        ASSERT_TRUE(MakeFolder(folder));
        std::vector<std::wstring> files;
        std::vector<Bytes> contents;
        for (int i = 0; i < 16; ++i) {
            files.push_back(Join(folder, L"r" + std::to_wstring(i)));
            contents.push_back(PseudoRandom(2000, static_cast<uint32_t>(i + 90)));
            ASSERT_TRUE(WriteFileBytes(files.back(), contents.back()));
        }
        LockBatch batch({folder}, kPassword, nullptr);
        ASSERT_TRUE(batch.Start(0));
        std::thread canceller([&] {
            while (batch.FilesDone() < stopAfter && !batch.HasEnded()) std::this_thread::yield();
            batch.RequestStop();
        });
        canceller.join();
        batch.Stop();
        EXPECT_TRUE(batch.HasEnded());
        const size_t locked = ExpectEachPlainOrLocked(folder, files, contents);
        EXPECT_EQ(batch.FilesDone(), locked);
        EXPECT_EQ(batch.WasCancelled(), locked < files.size());
        EXPECT_TRUE(batch.Failures().empty());
    }
}

#ifdef _WIN32
// A read-only plain file is locked: its attribute is cleared for the delete
// only once the verified locked copy exists. A plain file that cannot be
// deleted (held open by someone who does not share deletion) is left as it
// was, without a locked copy beside it, and the walk goes on.
TEST(LockBatchTest, ReadOnlyFilesAreLockedAndUndeletableOnesLeftAsTheyWere) {
    TempDir dir;
    const std::wstring folder = dir / L"docs";
    ASSERT_TRUE(MakeFolder(folder));
    const std::wstring ro = Join(folder, L"read-only.txt"), held = Join(folder, L"held.txt"),
                       other = Join(folder, L"other.txt");
    ASSERT_TRUE(WriteFileText(ro, "read only"));
    ASSERT_TRUE(WriteFileText(held, "held open"));
    ASSERT_TRUE(WriteFileText(other, "other"));
    ASSERT_TRUE(plat::SetReadOnly(ro, true));
    HANDLE h = ::CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    {
        LockBatch batch({folder}, kPassword, nullptr);
        RunToEnd(batch);
        const std::map<std::wstring, corva::FailureReason> expected{{held, corva::FailureReason::InUse}};
        EXPECT_EQ(FailureMap(batch), expected);
    }
    ::CloseHandle(h);
    EXPECT_EQ(ListNames(folder),
              (std::vector<std::wstring>{L"held.txt", L"other.txt.corvastine", L"read-only.txt.corvastine"}));
    EXPECT_EQ(ReadFileBytes(held), Bytes({'h', 'e', 'l', 'd', ' ', 'o', 'p', 'e', 'n'}));
    EXPECT_EQ(corva::LockFile(held, kPassword, nullptr), corva::kOk);
    EXPECT_TRUE(UnlockPath(folder, kPassword, nullptr));
    EXPECT_EQ(ReadFileBytes(ro), Bytes({'r', 'e', 'a', 'd', ' ', 'o', 'n', 'l', 'y'}));
    EXPECT_EQ(ListNames(folder).size(), 3u);

    // An unlock that restored the file but cannot delete the locked one
    // says so (the restored file is whole and stays).
    ASSERT_TRUE(LockOneFile(other, kPassword, nullptr));
    const std::wstring locked = other + L".corvastine";
    h = ::CreateFileW(locked.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    corva::PipelineControl control;
    EXPECT_EQ(corva::UnlockFile(locked, kPassword, false, nullptr, &control), corva::kLockedNotDeleted);
    EXPECT_EQ(control.cause, plat::IoError::InUse);
    ::CloseHandle(h);
    EXPECT_EQ(ReadFileBytes(other), Bytes({'o', 't', 'h', 'e', 'r'}));
    EXPECT_TRUE(IsLockedFile(locked));
}
#endif
