// What a drop may do to the vault and a drag-out may take from it, on
// scratch folders: files and folders enter locked under free names and
// their sources go; what cannot be stored keeps its plain source and leaves
// nothing in the vault; the vault's own files are refused; a drag-out never
// unlocks over a file and hands over only entries unlocked whole.
#include <gtest/gtest.h>

#include <algorithm>

#include "../batch/BatchTestSupport.h"
#include "VaultLayout.h"
#include "VaultTransfers.h"
#include "engine/LockedFile.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

using namespace corva::vault;
using corva::FailureReason;
using testing_support::Bytes;
using testing_support::ListNames;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

const char kPassword[] = "sesame";

class VaultTransfers : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(testing_support::MakeFolder(drive / L"corvadocuments"));
        ASSERT_TRUE(WriteFileBytes(drive / L"CorvastineVault.exe", Bytes(100, 1)));
        places = PlacesOf(drive.Path() + plat::PathSeparator(), drive / L"VaultHost.exe");
    }
    void TearDown() override { plat::SetWriteBudgetForTesting(-1); }

    std::wstring Source(const std::wstring& name, const Bytes& content) {
        const std::wstring path = host / name;
        EXPECT_TRUE(WriteFileBytes(path, content));
        return path;
    }
    std::wstring InVault(const std::wstring& relative) const { return plat::JoinPath(places.vaultFolder, relative); }

    std::vector<corva::BatchFailure> Store(const std::vector<std::wstring>& paths) {
        VaultStoreBatch batch(paths, kPassword, places, nullptr);
        batch_test::RunToEnd(batch);
        return batch.Failures();
    }

    TempDir drive, host;
    VaultPlaces places;
};

std::vector<std::wstring> Sorted(std::vector<std::wstring> names) {
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST_F(VaultTransfers, FilesAndFoldersEnterLockedUnderFreeNamesAndTheirSourcesGo) {
    ASSERT_TRUE(WriteFileBytes(InVault(L"a.dat.corvastine"), Bytes(5, 'x')));
    const Bytes a = testing_support::PseudoRandom(70000, 1), c = testing_support::PseudoRandom(3000, 2);
    const std::wstring fileA = Source(L"a.dat", a);
    const std::wstring folder = host / L"trip";
    ASSERT_TRUE(testing_support::MakeFolder(folder));
    ASSERT_TRUE(testing_support::MakeFolder(folder + plat::PathSeparator() + L"day 1"));
    ASSERT_TRUE(WriteFileBytes(plat::JoinPath(folder, L"day 1") + plat::PathSeparator() + L"c.txt", c));

    EXPECT_TRUE(Store({fileA, folder}).empty());
    EXPECT_TRUE(ListNames(host.Path()).empty());
    EXPECT_EQ(Sorted(ListNames(places.vaultFolder)),
              (std::vector<std::wstring>{L"a (2).dat.corvastine", L"a.dat.corvastine", L"trip"}));
    EXPECT_EQ(ReadFileBytes(InVault(L"a.dat.corvastine")), Bytes(5, 'x'));
    const std::wstring lockedC = InVault(L"trip") + plat::PathSeparator() + L"day 1" + plat::PathSeparator() +
                                 L"c.txt.corvastine";
    ASSERT_EQ(corva::UnlockFile(InVault(L"a (2).dat.corvastine"), kPassword, false, nullptr), corva::kOk);
    ASSERT_EQ(corva::UnlockFile(lockedC, kPassword, false, nullptr), corva::kOk);
    EXPECT_EQ(ReadFileBytes(InVault(L"a (2).dat")), a);
    EXPECT_EQ(ReadFileBytes(UnlockedPathOf(lockedC)), c);
}

// A full drive: the file keeps its plain source, nothing of it is left in
// the vault, and it is named with its reason.
TEST_F(VaultTransfers, AFileThatDoesNotFitKeepsItsSourceAndLeavesNothingInTheVault) {
    const Bytes big = testing_support::PseudoRandom(300000, 3);
    const std::wstring path = Source(L"big.bin", big);
    plat::SetWriteBudgetForTesting(100000);
    const auto failures = Store({path});
    plat::SetWriteBudgetForTesting(-1);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].path, path);
    EXPECT_EQ(failures[0].reason, FailureReason::NoRoom);
    EXPECT_EQ(ReadFileBytes(path), big);
    EXPECT_TRUE(ListNames(places.vaultFolder).empty());
}

// The vault never takes in itself, what it holds, a folder holding it, or
// its program files; a path that is gone is named as such.
TEST_F(VaultTransfers, TheVaultsOwnFilesAreRefusedAndLeftAlone) {
    ASSERT_TRUE(WriteFileBytes(InVault(L"kept.txt.corvastine"), Bytes(10, 'k')));
    ASSERT_TRUE(WriteFileBytes(drive / L"VaultHost.exe", Bytes(10, 'h')));
    const std::vector<std::wstring> own = {places.vaultFolder, InVault(L"kept.txt.corvastine"), drive.Path(),
                                           drive / L"CorvastineVault.exe", drive / L"VaultHost.exe"};
    std::vector<std::wstring> dropped = own;
    dropped.push_back(host / L"gone.txt");
    const auto failures = Store(dropped);
    ASSERT_EQ(failures.size(), dropped.size());
    for (const auto& failure : failures) {
        const bool gone = failure.path == host / L"gone.txt";
        EXPECT_EQ(failure.reason, gone ? FailureReason::Missing : FailureReason::OwnFile)
            << plat::WideToNarrow(failure.path);
    }
    EXPECT_EQ(ListNames(places.vaultFolder), std::vector<std::wstring>{L"kept.txt.corvastine"});
    EXPECT_EQ(ReadFileBytes(drive / L"VaultHost.exe"), Bytes(10, 'h'));
}

// Out: a stray plain file of the entry's name is never overwritten, an
// entry of another password stays locked, and only what was unlocked whole
// is handed over; a folder entry goes whole.
TEST_F(VaultTransfers, ADragOutUnlocksBesideTheEntryNeverOverAFileAndHandsOverOnlyWholeEntries) {
    const Bytes content = testing_support::PseudoRandom(4000, 5);
    auto lockInto = [&](const std::wstring& name, const std::wstring& entry, const char* password) {
        ASSERT_EQ(corva::LockFileInto(Source(name, content), entry, password, nullptr), corva::kOk);
    };
    lockInto(L"notes.txt", InVault(L"notes.txt.corvastine"), kPassword);
    lockInto(L"other.txt", InVault(L"other.txt.corvastine"), "another");
    ASSERT_TRUE(testing_support::MakeFolder(InVault(L"trip")));
    lockInto(L"photo.jpg", InVault(L"trip") + plat::PathSeparator() + L"photo.jpg.corvastine", kPassword);
    ASSERT_TRUE(WriteFileBytes(InVault(L"notes.txt"), Bytes(3, 's')));
    const Bytes lockedNotes = ReadFileBytes(InVault(L"notes.txt.corvastine"));

    VaultTakeOutBatch batch({InVault(L"notes.txt.corvastine"), InVault(L"other.txt.corvastine"), InVault(L"trip")},
                            kPassword, places.vaultFolder, nullptr);
    batch_test::RunToEnd(batch);
    EXPECT_EQ(batch.TakenOut(), std::vector<std::wstring>{InVault(L"trip")});
    EXPECT_EQ(batch.Restored(), std::vector<std::wstring>{InVault(L"trip") + plat::PathSeparator() + L"photo.jpg"});
    const auto failures = batch.Failures();
    ASSERT_EQ(failures.size(), 2u);
    for (const auto& failure : failures) {
        const bool notes = failure.path == InVault(L"notes.txt.corvastine");
        EXPECT_EQ(failure.reason, notes ? FailureReason::NameTaken : FailureReason::WrongPassword);
    }
    EXPECT_EQ(ReadFileBytes(InVault(L"notes.txt")), Bytes(3, 's'));
    EXPECT_EQ(ReadFileBytes(InVault(L"notes.txt.corvastine")), lockedNotes);
    EXPECT_TRUE(IsLockedFile(InVault(L"other.txt.corvastine")));
    EXPECT_EQ(ReadFileBytes(InVault(L"trip") + plat::PathSeparator() + L"photo.jpg"), content);
}
