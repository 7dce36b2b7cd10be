// Working copies: the relock that replaces a locked file only once its new
// copy verifies, the record, the watch, the recovery plan and the whole
// lifecycle from unlocking into the private folder to shredding, and what
// the Open command tells the user about it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

#include "engine/LockedFile.h"
#include "engine/WorkingCopyPipeline.h"
#include "open/OpenMessages.h"
#include "open/WorkingCopies.h"
#include "platform/OpenSupport.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

const char kPassword[] = "c0rrect-h0rse";

// Wine keeps no security descriptors of files (it maps a DACL onto the
// POSIX mode bits at best), so what a DACL says can only be read back on
// Windows itself.
bool SystemKeepsFolderDacls() {
#ifdef _WIN32
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return !(ntdll && ::GetProcAddress(ntdll, "wine_get_version"));
#else
    return true;
#endif
}

bool Contains(const Bytes& haystack, const std::string& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

class WorkingCopies : public ::testing::Test {
protected:
    TempDir dir;
    std::wstring data = dir / L"data";
    std::wstring root = dir / L"appdata";

    void SetUp() override {
        ASSERT_TRUE(MakeFolder(data));
        ASSERT_TRUE(MakeFolder(root));
        root = Join(Join(root, L"Corvastine"), L"Open");
    }
    // A locked file made from text; returns its path.
    std::wstring Locked(const std::wstring& name, const std::string& text) {
        const std::wstring plain = Join(data, name);
        EXPECT_TRUE(WriteFileText(plain, text));
        EXPECT_EQ(corva::LockFile(plain, kPassword, nullptr), corva::kOk);
        return plain + L".corvastine";
    }
    // What a locked file holds, unlocked into a scratch name.
    std::string Unlocked(const std::wstring& locked) {
        const std::wstring out = dir / L"check.out";
        plat::RemoveFile(out);
        if (corva::UnlockCopy(locked, out, kPassword, nullptr) != corva::kOk) return "(does not unlock)";
        const Bytes b = ReadFileBytes(out);
        plat::RemoveFile(out);
        return std::string(b.begin(), b.end());
    }
    // Changes a file's content and pushes its time away from the noted one.
    void Edit(const std::wstring& path, const std::string& text) {
        ASSERT_TRUE(WriteFileText(path, text));
        plat::FileStamp stamp;
        stamp.modifiedKnown = true;
        stamp.modified.seconds = 2000000000;
        ASSERT_TRUE(plat::ApplyStamp(path, stamp));
    }
};

}  // namespace

// The new locked file replaces the old one only once written, flushed and
// read back: a write that fails at any point leaves the old one whole and
// nothing else beside it; the working copy is never touched.
TEST_F(WorkingCopies, RelockReplacesTheLockedFileOnlyWhole) {
    const std::wstring locked = Locked(L"notes.txt", "first version");
    const Bytes before = ReadFileBytes(locked);
    const std::wstring copy = dir / L"copy.txt";
    const Bytes edited = PseudoRandom(200000, 5);
    ASSERT_TRUE(WriteFileBytes(copy, edited));
    struct Restore {
        ~Restore() {
            plat::SetWriteBudgetForTesting(-1);
            corva::SetBeforeVerifyHookForTesting(nullptr);
        }
    } restore;
    for (int64_t budget : {0, 100, 172, 100000, 200100}) {
        plat::SetWriteBudgetForTesting(budget);
        EXPECT_EQ(corva::RelockInPlace(copy, locked, kPassword, true, nullptr), corva::kIoFailure) << budget;
        plat::SetWriteBudgetForTesting(-1);
        EXPECT_EQ(ReadFileBytes(locked), before) << budget;
        EXPECT_EQ(ListNames(data), std::vector<std::wstring>{L"notes.txt.corvastine"}) << budget;
        EXPECT_EQ(ReadFileBytes(copy), edited) << budget;
    }
    // A new locked file that does not read back as written never replaces
    // the old one.
    corva::SetBeforeVerifyHookForTesting([](plat::File& pending) {
        const uint8_t junk[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
        ASSERT_TRUE(pending.Seek(4000) && pending.Write(junk, sizeof junk));
    });
    EXPECT_EQ(corva::RelockInPlace(copy, locked, kPassword, true, nullptr), corva::kIoFailure);
    corva::SetBeforeVerifyHookForTesting(nullptr);
    EXPECT_EQ(ReadFileBytes(locked), before);
    EXPECT_EQ(ListNames(data), std::vector<std::wstring>{L"notes.txt.corvastine"});
    // Not asked to replace: the name is taken, nothing changes.
    EXPECT_EQ(corva::RelockInPlace(copy, locked, kPassword, false, nullptr), corva::kDestinationExists);
    EXPECT_EQ(ReadFileBytes(locked), before);

    ASSERT_EQ(corva::RelockInPlace(copy, locked, kPassword, true, nullptr), corva::kOk);
    EXPECT_EQ(ListNames(data), std::vector<std::wstring>{L"notes.txt.corvastine"});
    EXPECT_EQ(Unlocked(locked), std::string(edited.begin(), edited.end()));
    EXPECT_EQ(ReadFileBytes(copy), edited) << "the copy stays for the shredder";
}

TEST_F(WorkingCopies, RecordRoundTripsAndRefusesAnythingElse) {
    corva::WorkingRecord r;
    r.lockedPath = L"/x/Caf\u00e9 notes.txt.corvastine";
    r.copyKnown = true;
    r.copySize = 12345;
    r.copyModified = {1700000000, 999999999};
    r.lockedKnown = true;
    r.lockedSize = 400;
    r.lockedModified = {-5, 1};
    corva::WorkingRecord back;
    ASSERT_TRUE(corva::ParseWorkingRecord(corva::FormatWorkingRecord(r), &back));
    EXPECT_EQ(back.lockedPath, r.lockedPath);
    EXPECT_EQ(back.copySize, 12345);
    EXPECT_EQ(back.copyModified.nanoseconds, 999999999u);
    EXPECT_EQ(back.lockedModified.seconds, -5);
    r.copyKnown = false;
    ASSERT_TRUE(corva::ParseWorkingRecord(corva::FormatWorkingRecord(r), &back));
    EXPECT_FALSE(back.copyKnown);
    for (const char* bad : {"", "corvastine working copy 1\n", "corvastine working copy 2\nlocked /a\n",
                            "corvastine working copy 1\nlocked /a", "corvastine working copy 1\nlocked /a\nkey 00\n",
                            "corvastine working copy 1\nlocked /a\ncopy 1 2 1000000000\n"})
        EXPECT_FALSE(corva::ParseWorkingRecord(bad, &back)) << bad;
}

TEST_F(WorkingCopies, BackoffAndDoneWatch) {
    corva::PollBackoff backoff;
    std::vector<uint32_t> delays;
    for (int i = 0; i < 7; ++i) delays.push_back(backoff.Next());
    EXPECT_EQ(delays, (std::vector<uint32_t>{250, 500, 1000, 2000, 4000, 4000, 4000}));
    backoff.Reset();
    EXPECT_EQ(backoff.Next(), 250u);

    corva::DoneWatch watch;
    EXPECT_FALSE(watch.Look(true, plat::FileUse::Free)) << "the program still runs";
    EXPECT_FALSE(watch.Look(false, plat::FileUse::Free)) << "one quiet look is not enough";
    EXPECT_FALSE(watch.Look(false, plat::FileUse::InUse)) << "handed to another program";
    EXPECT_FALSE(watch.Look(false, plat::FileUse::Free));
    EXPECT_TRUE(watch.Look(false, plat::FileUse::Missing)) << "saved by rename: quiet twice";
    corva::DoneWatch unknown;
    EXPECT_FALSE(unknown.Look(false, plat::FileUse::Unknown));
    EXPECT_TRUE(unknown.Look(false, plat::FileUse::Unknown));
}

TEST_F(WorkingCopies, ProbeSeesAFileHeldOpen) {
    const std::wstring path = dir / L"held.txt";
    ASSERT_TRUE(WriteFileText(path, "x"));
    EXPECT_EQ(plat::ProbeFileUse(dir / L"absent"), plat::FileUse::Missing);
    EXPECT_EQ(plat::ProbeFileUse(path), plat::FileUse::Free);
    {
        plat::File held;
        ASSERT_TRUE(held.Open(path, plat::File::Mode::ReadWrite));
        EXPECT_EQ(plat::ProbeFileUse(path), plat::FileUse::InUse);
    }
    EXPECT_EQ(plat::ProbeFileUse(path), plat::FileUse::Free);
}

// Open, leave unchanged, finish: the copy lived in a folder only this user
// can enter, the locked file never changed, and nothing is left.
TEST_F(WorkingCopies, UnchangedCopyIsShreddedAndTheLockedFileKept) {
    const std::wstring locked = Locked(L"plan.txt", "secret plan text");
    const Bytes before = ReadFileBytes(locked);
    corva::WorkingArea area(root);
    const corva::OpenOutcome opened = corva::UnlockForEditing(area, locked, kPassword, nullptr);
    ASSERT_EQ(opened.status, corva::OpenStatus::Opened);
    EXPECT_EQ(ReadFileBytes(opened.entry.copyPath), Bytes({'s', 'e', 'c', 'r', 'e', 't', ' ', 'p', 'l', 'a', 'n', ' ',
                                                           't', 'e', 'x', 't'}));
    EXPECT_EQ(ListNames(opened.entry.folder), std::vector<std::wstring>{L"plan.txt"});
    if (SystemKeepsFolderDacls()) {
        EXPECT_TRUE(plat::IsPrivateFolder(root));
        EXPECT_TRUE(plat::IsPrivateFolder(plat::ParentFolder(root)));
        EXPECT_TRUE(plat::IsPrivateFolder(opened.entry.folder));
    }
    // The record names the locked file and holds neither the password nor
    // any of the content.
    const Bytes record = ReadFileBytes(opened.entry.recordPath);
    EXPECT_TRUE(Contains(record, "plan.txt.corvastine"));
    EXPECT_FALSE(Contains(record, kPassword));
    EXPECT_FALSE(Contains(record, "secret"));

    const corva::OpenOutcome again = corva::UnlockForEditing(area, locked, kPassword, nullptr);
    EXPECT_EQ(again.status, corva::OpenStatus::AlreadyOpen);
    EXPECT_EQ(again.entry.copyPath, opened.entry.copyPath);

    const corva::FinishOutcome done = corva::FinishEntry(opened.entry, kPassword, std::wstring(), nullptr);
    EXPECT_EQ(done.status, corva::FinishStatus::Shredded) << plat::WideToNarrow(corva::DescribeFinish(done));
    EXPECT_EQ(ReadFileBytes(locked), before);
    EXPECT_TRUE(ListNames(root).empty());
}

TEST_F(WorkingCopies, ChangedCopyIsLockedAgainThenShredded) {
    const std::wstring locked = Locked(L"plan.txt", "version one");
    corva::WorkingArea area(root);
    const corva::OpenOutcome opened = corva::UnlockForEditing(area, locked, kPassword, nullptr);
    ASSERT_EQ(opened.status, corva::OpenStatus::Opened);
    Edit(opened.entry.copyPath, "version two, longer");

    // Without a wiping library the copy cannot be shredded: it is locked
    // again and kept, and the next look only shreds it.
    const std::wstring noWipe = dir / L"no-such-wiping-library";
    corva::FinishOutcome done = corva::FinishEntry(opened.entry, kPassword, noWipe, nullptr);
    EXPECT_EQ(done.status, corva::FinishStatus::NotShredded);
    EXPECT_EQ(Unlocked(locked), "version two, longer");
    std::vector<corva::WorkingEntry> left = area.Entries();
    ASSERT_EQ(left.size(), 1u);
    std::vector<corva::RecoveryItem> plan = corva::PlanRecovery(left);
    EXPECT_EQ(plan[0].action, corva::RecoveryAction::Shred);
    EXPECT_FALSE(corva::PlanNeedsQuestion(plan));

    Edit(left[0].copyPath, "version three");
    done = corva::FinishEntry(left[0], kPassword, std::wstring(), nullptr);
    EXPECT_EQ(done.status, corva::FinishStatus::Relocked) << plat::WideToNarrow(corva::DescribeFinish(done));
    EXPECT_EQ(Unlocked(locked), "version three");
    EXPECT_EQ(ListNames(data), std::vector<std::wstring>{L"plan.txt.corvastine"});
    EXPECT_TRUE(ListNames(root).empty());
}

TEST_F(WorkingCopies, FailedOpenLeavesNothing) {
    const std::wstring locked = Locked(L"a.txt", "alpha");
    corva::WorkingArea area(root);
    corva::OpenOutcome o = corva::UnlockForEditing(area, locked, "wrong password", nullptr);
    EXPECT_EQ(o.status, corva::OpenStatus::Failed);
    EXPECT_EQ(o.code, corva::kWrongPassword);
    EXPECT_NE(corva::DescribeOpenFailure(o, locked).find(L"was not opened"), std::wstring::npos);
    EXPECT_TRUE(ListNames(root).empty());
    const std::wstring plain = Join(data, L"plain.txt");
    ASSERT_TRUE(WriteFileText(plain, "not locked"));
    o = corva::UnlockForEditing(area, plain, kPassword, nullptr);
    EXPECT_EQ(o.code, corva::kNotLockedFile);
    EXPECT_TRUE(ListNames(root).empty());
}

// After a stop with files open: unchanged copies are shredded, changed ones
// locked again (asked first, by name), a changed copy whose locked file
// moved on takes a new name, nothing in use or without a record is touched.
TEST_F(WorkingCopies, RecoveryPlanAndItsOutcome) {
    corva::WorkingArea area(root);
    const std::wstring names[] = {L"same.txt", L"edited.txt", L"moved.txt", L"held.txt"};
    std::vector<std::wstring> locked;
    for (const auto& n : names) {
        locked.push_back(Locked(n, "original " + plat::WideToNarrow(n)));
        ASSERT_EQ(corva::UnlockForEditing(area, locked.back(), kPassword, nullptr).status, corva::OpenStatus::Opened);
    }
    corva::WorkingEntry e;
    ASSERT_TRUE(area.FindByLockedPath(locked[1], &e));
    Edit(e.copyPath, "edited meanwhile");
    ASSERT_TRUE(area.FindByLockedPath(locked[2], &e));
    Edit(e.copyPath, "moved copy edited");
    const Bytes otherLock = ReadFileBytes(locked[0]);
    ASSERT_TRUE(WriteFileBytes(locked[2], otherLock));  // another locked file took the name
    ASSERT_TRUE(area.FindByLockedPath(locked[3], &e));
    Edit(e.copyPath, "held and edited");
    plat::File holder;
    ASSERT_TRUE(holder.Open(e.copyPath, plat::File::Mode::ReadWrite));
    // A copy whose record went, and a record whose copy went.
    const std::wstring stray = Join(root, L"0123456789ABCDEF0123456789ABCDEF");
    ASSERT_TRUE(MakeFolder(stray));
    ASSERT_TRUE(WriteFileText(Join(stray, L"orphan.txt"), "orphan"));
    ASSERT_TRUE(WriteFileText(Join(root, L"FEDCBA9876543210FEDCBA9876543210.open"),
                              corva::FormatWorkingRecord(corva::WorkingRecord{Join(data, L"gone.txt.corvastine")})));

    const std::vector<corva::RecoveryItem> plan = corva::PlanRecovery(area.Entries());
    ASSERT_EQ(plan.size(), 6u);
    auto actionOf = [&](const std::wstring& name) {
        for (const auto& item : plan)
            if (item.entry.DisplayName() == name) return item.action;
        return corva::RecoveryAction::Tidy;
    };
    EXPECT_EQ(actionOf(L"same.txt"), corva::RecoveryAction::Shred);
    EXPECT_EQ(actionOf(L"edited.txt"), corva::RecoveryAction::Relock);
    EXPECT_EQ(actionOf(L"moved.txt"), corva::RecoveryAction::RelockBeside);
    EXPECT_EQ(actionOf(L"held.txt"), corva::RecoveryAction::KeepInUse);
    EXPECT_EQ(actionOf(L"orphan.txt"), corva::RecoveryAction::KeepUnknown);
    EXPECT_EQ(actionOf(L"gone.txt"), corva::RecoveryAction::Tidy);
    ASSERT_TRUE(corva::PlanNeedsQuestion(plan));
    const std::wstring question = corva::RecoveryQuestion(plan);
    EXPECT_NE(question.find(L"edited.txt"), std::wstring::npos);
    EXPECT_NE(question.find(L"moved.txt"), std::wstring::npos);
    EXPECT_EQ(question.find(L"same.txt"), std::wstring::npos);

    // Declined: the changed copies stay as they are; the rest is done.
    for (const auto& item : plan) corva::CarryOut(item, kPassword, false, std::wstring(), nullptr);
    EXPECT_EQ(corva::PlanRecovery(area.Entries()).size(), 4u) << "edited, moved, held, orphan";
    EXPECT_EQ(Unlocked(locked[1]), "original edited.txt");

    holder.Close();
    for (const auto& item : corva::PlanRecovery(area.Entries()))
        corva::CarryOut(item, kPassword, true, std::wstring(), nullptr);
    EXPECT_EQ(Unlocked(locked[1]), "edited meanwhile");
    EXPECT_EQ(Unlocked(locked[3]), "held and edited");
    EXPECT_EQ(ReadFileBytes(locked[2]), otherLock) << "the other locked file is not replaced";
    EXPECT_EQ(Unlocked(Join(data, L"moved (edited 1).txt.corvastine")), "moved copy edited");
    EXPECT_EQ(ListNames(root), (std::vector<std::wstring>{L"0123456789ABCDEF0123456789ABCDEF"}))
        << "only the copy without a record is left";
}

// The Open command tells only what was not done: outcomes that went well
// add nothing, the others one paragraph each.
TEST(OpenMessages, OnlyWhatWasNotDoneIsTold) {
    const corva::FinishOutcome shredded{corva::FinishStatus::Shredded, corva::kOk, L"a.txt", L""};
    const corva::FinishOutcome inUse{corva::FinishStatus::InUse, corva::kOk, L"b.txt", L""};
    const corva::FinishOutcome relocked{corva::FinishStatus::Relocked, corva::kOk, L"c.txt", L""};
    const corva::FinishOutcome declined{corva::FinishStatus::Declined, corva::kOk, L"d.txt", L""};
    corva::FinishProblems problems;
    problems.Add(shredded);
    EXPECT_TRUE(problems.Empty());
    for (const auto& outcome : {inUse, relocked, declined}) problems.Add(outcome);
    EXPECT_EQ(problems.Text(), corva::DescribeFinish(inUse) + L"\n\n" + corva::DescribeFinish(declined));

    corva::WorkingEntry entry;
    entry.copyPath = plat::JoinPath(plat::JoinPath(L"root", L"0123456789ABCDEF0123456789ABCDEF"), L"e.txt");
    const std::wstring notStarted = L"e.txt was not opened: no program could be started on it.";
    EXPECT_EQ(corva::DescribeNotStarted(entry, shredded), notStarted);
    EXPECT_EQ(corva::DescribeNotStarted(entry, inUse), notStarted + L"\n\n" + corva::DescribeFinish(inUse));
}

#ifndef _WIN32
// The program started on a file is watched through its process.
TEST_F(WorkingCopies, ChildProcessIsWatchedUntilItEnds) {
    const std::wstring script = dir / L"wait.sh";
    const std::wstring go = dir / L"go";
    ASSERT_TRUE(WriteFileText(script, "while [ ! -e '" + plat::WideToNarrow(go) + "' ]; do sleep 0.02; done\n"));
    plat::ChildProcess child;
    ASSERT_TRUE(child.Open(script, L"/bin/sh"));
    ASSERT_TRUE(child.HasProcess());
    EXPECT_TRUE(child.Running());
    ASSERT_TRUE(WriteFileText(go, ""));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (child.Running() && std::chrono::steady_clock::now() < deadline) plat::SleepMilliseconds(10);
    EXPECT_FALSE(child.Running());
    plat::ChildProcess none;
    EXPECT_FALSE(none.Open(dir / L"x", dir / L"no-such-program"));
    EXPECT_FALSE(none.Running());
}
#endif
