#include <gtest/gtest.h>

#include <algorithm>

#include "engine/LockedFile.h"
#include "log/FileLog.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

const char kPassword[] = "Tr0ub4dor&3";

class Pipeline : public ::testing::Test {
protected:
    std::wstring Make(const std::wstring& name, const Bytes& content) {
        std::wstring p = dir / name;
        EXPECT_TRUE(WriteFileBytes(p, content));
        return p;
    }
    TempDir dir;
};

}  // namespace

TEST_F(Pipeline, LockThenUnlockRestoresTheFileAndLeavesNoTemporaries) {
    const Bytes content = PseudoRandom(123457, 1);
    std::wstring plain = Make(L"report.doc", content);
    ASSERT_TRUE(LockOneFile(plain, kPassword, nullptr));
    EXPECT_FALSE(plat::PathExists(plain));
    EXPECT_EQ(ListNames(dir.Path()), std::vector<std::wstring>{L"report.doc.corvastine"});
    ASSERT_TRUE(UnlockOneFile(plain + L".corvastine", kPassword, nullptr));
    EXPECT_EQ(ListNames(dir.Path()), std::vector<std::wstring>{L"report.doc"});
    EXPECT_EQ(ReadFileBytes(plain), content);
}

TEST_F(Pipeline, EmptyFileLocksIntoTwoBodyBlocks) {
    std::wstring plain = Make(L"empty.txt", {});
    ASSERT_TRUE(LockOneFile(plain, kPassword, nullptr));
    int64_t size = 0;
    ASSERT_TRUE(plat::FileSize(plain + L".corvastine", &size));
    EXPECT_EQ(size, 204);
    ASSERT_TRUE(UnlockOneFile(plain + L".corvastine", kPassword, nullptr));
    ASSERT_TRUE(plat::FileSize(plain, &size));
    EXPECT_EQ(size, 0);
}

TEST_F(Pipeline, FoldersAreLeftAlone) {
    EXPECT_TRUE(LockOneFile(dir.Path(), kPassword, nullptr));
    EXPECT_TRUE(UnlockOneFile(dir.Path(), kPassword, nullptr));
    EXPECT_TRUE(ListNames(dir.Path()).empty());
}

TEST_F(Pipeline, ExistingLockedNameStopsTheLockAndKeepsThePlainFile) {
    TempDir logDir;
    FileLog log(plat::WideToNarrow(logDir / L"log.txt"), L"");
    std::wstring plain = Make(L"a.txt", {'a', 'b', 'c'});
    Make(L"a.txt.corvastine", {'x'});
    EXPECT_FALSE(LockOneFile(plain, kPassword, &log));
    EXPECT_EQ(ReadFileBytes(plain), Bytes({'a', 'b', 'c'}));
    EXPECT_EQ(ReadFileBytes(plain + L".corvastine"), Bytes({'x'}));
    EXPECT_EQ(ListNames(dir.Path()).size(), 2u);
    Bytes logText = ReadFileBytes(logDir / L"log.txt");
    std::string expected = "[encryptfile] " + plat::WideToNarrow(plain + L".corvastine") + " already exist.";
    EXPECT_NE(std::string(logText.begin(), logText.end()).find(expected), std::string::npos);
}

TEST_F(Pipeline, UnlockNamesFollowTheExtension) {
    std::wstring c = Make(L"c.corvastine", {'c'});
    ASSERT_TRUE(LockOneFile(c, kPassword, nullptr));
    ASSERT_TRUE(UnlockOneFile(dir / L"c.corvastine.corvastine", kPassword, nullptr));
    EXPECT_EQ(ReadFileBytes(c), Bytes({'c'}));

    std::wstring b = Make(L"b.txt", {'b'});
    ASSERT_TRUE(LockOneFile(b, kPassword, nullptr));
    ASSERT_TRUE(plat::RenameReplacing(b + L".corvastine", dir / L"b.corvastine.txt"));
    EXPECT_FALSE(UnlockOneFile(dir / L"b.corvastine.txt", kPassword, nullptr));
    ASSERT_TRUE(plat::RenameReplacing(dir / L"b.corvastine.txt", dir / L"b.txt.CORVASTINE"));
    EXPECT_FALSE(UnlockOneFile(dir / L"b.txt.CORVASTINE", kPassword, nullptr));
    EXPECT_EQ(ListNames(dir.Path()), (std::vector<std::wstring>{L"b.txt.CORVASTINE", L"c.corvastine"}));
}

TEST_F(Pipeline, WrongPasswordOrDamageKeepsTheLockedFileAndAnyNamesake) {
    const Bytes content = PseudoRandom(40000, 2);
    std::wstring plain = Make(L"photo.jpg", content);
    ASSERT_TRUE(LockOneFile(plain, kPassword, nullptr));
    std::wstring locked = plain + L".corvastine";
    const Bytes lockedBytes = ReadFileBytes(locked);

    EXPECT_FALSE(UnlockOneFile(locked, "tr0ub4dor&3", nullptr));
    EXPECT_EQ(ReadFileBytes(locked), lockedBytes);
    EXPECT_FALSE(plat::PathExists(plain));

    // A file of the restored name exists; the damaged locked file must not
    // replace it, and must itself stay.
    Make(L"photo.jpg", {'n', 'e', 'w'});
    for (size_t offset : {size_t{172}, lockedBytes.size() / 2, lockedBytes.size() - 20}) {
        Bytes damaged = lockedBytes;
        damaged[offset] ^= 0x80;
        ASSERT_TRUE(WriteFileBytes(locked, damaged));
        EXPECT_FALSE(UnlockOneFile(locked, kPassword, nullptr)) << offset;
        EXPECT_EQ(ReadFileBytes(locked), damaged);
        EXPECT_EQ(ReadFileBytes(plain), Bytes({'n', 'e', 'w'}));
        EXPECT_EQ(ListNames(dir.Path()).size(), 2u) << "no temporaries left";
    }
    // The intact locked file replaces the namesake only now, whole.
    ASSERT_TRUE(WriteFileBytes(locked, lockedBytes));
    ASSERT_TRUE(UnlockOneFile(locked, kPassword, nullptr));
    EXPECT_EQ(ReadFileBytes(plain), content);
    EXPECT_FALSE(plat::PathExists(locked));
}

// Unlocking over a namesake replaces only a plain file: a folder or a link
// of the restored name stays as it is, and so does the locked file.
TEST_F(Pipeline, UnlockNeverReplacesAFolderOrALinkOfTheRestoredName) {
    const Bytes content = PseudoRandom(5000, 7);
    std::wstring plain = Make(L"notes.txt", content);
    ASSERT_TRUE(LockOneFile(plain, kPassword, nullptr));
    const std::wstring locked = plain + L".corvastine";
    const Bytes lockedBytes = ReadFileBytes(locked);

    ASSERT_TRUE(MakeFolder(plain));
    const std::wstring inside = Join(plain, L"inside.txt");
    ASSERT_TRUE(WriteFileText(inside, "inside"));
    EXPECT_EQ(corva::UnlockFile(locked, kPassword, true, nullptr), corva::kDestinationExists);
    EXPECT_TRUE(plat::IsDirectory(plain));
    EXPECT_EQ(ReadFileBytes(inside), Bytes({'i', 'n', 's', 'i', 'd', 'e'}));
    EXPECT_EQ(ReadFileBytes(locked), lockedBytes);
    RemoveTree(plain);

    const std::wstring target = Make(L"elsewhere.txt", {'k', 'e', 'e', 'p'});
    if (MakeLink(target, plain)) {
        EXPECT_EQ(corva::UnlockFile(locked, kPassword, true, nullptr), corva::kDestinationExists);
        EXPECT_TRUE(plat::IsLink(plain));
        EXPECT_EQ(ReadFileBytes(target), Bytes({'k', 'e', 'e', 'p'}));
        EXPECT_EQ(ReadFileBytes(locked), lockedBytes);
        RemoveTree(plain);
    }
    EXPECT_EQ(corva::UnlockFile(locked, kPassword, true, nullptr), corva::kOk);
    EXPECT_EQ(ReadFileBytes(plain), content);
}

namespace {
std::wstring g_namesake;
void MakeNamesake(plat::File&) { ASSERT_TRUE(WriteFileText(g_namesake, "someone else's")); }
}  // namespace

// Outputs become visible only under their own name, and never over a
// namesake that appeared meanwhile, unless replacing was asked for; a
// failure leaves nothing behind. The same holds on a file system without
// unnamed files (FAT on a USB stick), where outputs have temporary names.
TEST_F(Pipeline, OutputsNeverTakeANamesakesPlaceUnlessAskedTo) {
    struct Restore {
        ~Restore() {
            plat::SetUnnamedFilesForTesting(true);
            plat::SetWriteBudgetForTesting(-1);
            corva::SetBeforeVerifyHookForTesting(nullptr);
        }
    } restore;
    const Bytes content = PseudoRandom(70000, 8);
    const std::wstring plain = Make(L"stick.bin", content);
    const std::wstring locked = plain + L".corvastine";
    for (bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed ? "unnamed files" : "temporary names");
        plat::SetUnnamedFilesForTesting(unnamed);

        plat::SetWriteBudgetForTesting(30000);
        EXPECT_EQ(corva::LockFile(plain, kPassword, nullptr), corva::kIoFailure);
        plat::SetWriteBudgetForTesting(-1);
        EXPECT_EQ(ListNames(dir.Path()), std::vector<std::wstring>{L"stick.bin"});

        g_namesake = locked;
        corva::SetBeforeVerifyHookForTesting(MakeNamesake);
        EXPECT_EQ(corva::LockFile(plain, kPassword, nullptr), corva::kDestinationExists);
        corva::SetBeforeVerifyHookForTesting(nullptr);
        EXPECT_EQ(ReadFileBytes(plain), content);
        EXPECT_FALSE(IsLockedFile(locked));
        EXPECT_EQ(ListNames(dir.Path()).size(), 2u) << "no temporary left";
        ASSERT_TRUE(plat::RemoveFile(locked));

        ASSERT_EQ(corva::LockFile(plain, kPassword, nullptr), corva::kOk);
        EXPECT_EQ(ListNames(dir.Path()), std::vector<std::wstring>{L"stick.bin.corvastine"});
        const Bytes lockedBytes = ReadFileBytes(locked);

        Make(L"stick.bin", {'n', 'e', 'w'});
        EXPECT_EQ(corva::UnlockFile(locked, kPassword, false, nullptr), corva::kDestinationExists);
        EXPECT_EQ(ReadFileBytes(plain), Bytes({'n', 'e', 'w'}));
        EXPECT_EQ(ReadFileBytes(locked), lockedBytes);
        EXPECT_EQ(ListNames(dir.Path()).size(), 2u) << "no temporary left";

        ASSERT_EQ(corva::UnlockFile(locked, kPassword, true, nullptr), corva::kOk);
        EXPECT_EQ(ReadFileBytes(plain), content);
        EXPECT_EQ(ListNames(dir.Path()), std::vector<std::wstring>{L"stick.bin"});
    }
}

TEST_F(Pipeline, FullDiskNeverCostsTheUsersFile) {
    const Bytes content = PseudoRandom(300000, 3);  // incompressible: payload ~ content
    std::wstring plain = Make(L"data.bin", content);
    for (int64_t budget : {0, 1000, 150000, 300100, 300200}) {
        plat::SetWriteBudgetForTesting(budget);
        EXPECT_FALSE(LockOneFile(plain, kPassword, nullptr)) << budget;
        plat::SetWriteBudgetForTesting(-1);
        EXPECT_EQ(ReadFileBytes(plain), content) << budget;
        EXPECT_EQ(ListNames(dir.Path()), std::vector<std::wstring>{L"data.bin"}) << budget;
    }
    ASSERT_TRUE(LockOneFile(plain, kPassword, nullptr));
    std::wstring locked = plain + L".corvastine";
    const Bytes lockedBytes = ReadFileBytes(locked);
    for (int64_t budget : {0, 1000, 200000, 299000, 299999}) {
        plat::SetWriteBudgetForTesting(budget);
        EXPECT_FALSE(UnlockOneFile(locked, kPassword, nullptr)) << budget;
        plat::SetWriteBudgetForTesting(-1);
        EXPECT_EQ(ReadFileBytes(locked), lockedBytes) << budget;
        EXPECT_EQ(ListNames(dir.Path()), std::vector<std::wstring>{L"data.bin.corvastine"}) << budget;
    }
}

// A file locked into another folder (the vault on a stick): the locked file
// appears there whole or not at all, and the plain file goes only after it.
TEST_F(Pipeline, LockingIntoAnotherFolderLeavesEitherThePlainSourceOrTheWholeLockedFile) {
    const Bytes content = PseudoRandom(300000, 5);  // incompressible
    const std::wstring plain = Make(L"photo.raw", content);
    TempDir other;
    const std::wstring into = other / L"renamed.raw.corvastine";

    plat::SetWriteBudgetForTesting(200000);
    EXPECT_EQ(corva::LockFileInto(plain, into, kPassword, nullptr), corva::kIoFailure);
    plat::SetWriteBudgetForTesting(-1);
    EXPECT_EQ(ReadFileBytes(plain), content);
    EXPECT_TRUE(ListNames(other.Path()).empty());

    ASSERT_TRUE(WriteFileBytes(into, {'k', 'e', 'e', 'p'}));
    EXPECT_EQ(corva::LockFileInto(plain, into, kPassword, nullptr), corva::kDestinationExists);
    EXPECT_EQ(ReadFileBytes(plain), content);
    EXPECT_EQ(ReadFileBytes(into), Bytes({'k', 'e', 'e', 'p'}));
    ASSERT_TRUE(plat::RemoveFile(into));

    ASSERT_EQ(corva::LockFileInto(plain, into, kPassword, nullptr), corva::kOk);
    EXPECT_TRUE(ListNames(dir.Path()).empty());
    EXPECT_EQ(ListNames(other.Path()), std::vector<std::wstring>{L"renamed.raw.corvastine"});
    ASSERT_EQ(corva::UnlockFile(into, kPassword, false, nullptr), corva::kOk);
    EXPECT_EQ(ReadFileBytes(other / L"renamed.raw"), content);
}

TEST_F(Pipeline, NamesOutsideAnyCodePage) {
    const std::wstring names[] = {
        L"Gr\u00fc\u00dfe.txt",
        L"\u65e5\u672c\u8a9e \u6587\u66f8.txt",
        L"\u0436\u0443\u0440\u043d\u0430\u043b \u2013 \u03b1\u03b2\u03b3.log",
        L"emoji \U0001F512.bin",
        L"spaces and .dots. .txt",
    };
    for (const auto& name : names) {
        const Bytes content = PseudoRandom(5000, static_cast<uint32_t>(name.size()));
        std::wstring plain = Make(name, content);
        ASSERT_TRUE(LockOneFile(plain, kPassword, nullptr)) << plat::WideToUtf8(name);
        EXPECT_FALSE(plat::PathExists(plain));
        ASSERT_TRUE(UnlockOneFile(plain + L".corvastine", kPassword, nullptr)) << plat::WideToUtf8(name);
        EXPECT_EQ(ReadFileBytes(plain), content);
        plat::RemoveFile(plain);
    }
    EXPECT_TRUE(ListNames(dir.Path()).empty());
}

TEST_F(Pipeline, MissingAndLinkedPathsFailWithoutSideEffects) {
    EXPECT_FALSE(LockOneFile(dir / L"absent.txt", kPassword, nullptr));
    EXPECT_FALSE(UnlockOneFile(dir / L"absent.txt.corvastine", kPassword, nullptr));
    EXPECT_TRUE(ListNames(dir.Path()).empty());

    TempDir outside;
    std::wstring target = outside / L"target.txt";
    ASSERT_TRUE(WriteFileText(target, "outside"));
    if (!MakeLink(target, dir / L"link.txt")) GTEST_SKIP() << "links not available here";
    EXPECT_FALSE(LockOneFile(dir / L"link.txt", kPassword, nullptr));
    EXPECT_EQ(ReadFileBytes(target), Bytes({'o', 'u', 't', 's', 'i', 'd', 'e'}));
    EXPECT_EQ(ListNames(dir.Path()), std::vector<std::wstring>{L"link.txt"});
}

namespace {

// What the folder holds at the moment a lock has written its locked copy:
// names other than the plain file, and whether any of them shows the plain
// bytes or a gzip stream.
struct DiskSnapshot {
    std::wstring folder, plain;
    Bytes content;
    std::vector<std::wstring> others;
    bool readable = false;
};
DiskSnapshot* g_snapshot = nullptr;

bool Contains(const Bytes& hay, const Bytes& needle) {
    return !needle.empty() && std::search(hay.begin(), hay.end(), needle.begin(), needle.end()) != hay.end();
}

void TakeSnapshot(plat::File&) {
    for (const auto& name : ListNames(g_snapshot->folder)) {
        const std::wstring path = Join(g_snapshot->folder, name);
        if (path == g_snapshot->plain) continue;
        g_snapshot->others.push_back(name);
        const Bytes b = ReadFileBytes(path);
        const Bytes gzipMagic = {0x1F, 0x8B, 0x08};
        const Bytes piece(g_snapshot->content.begin() + 1000, g_snapshot->content.begin() + 1064);
        if (Contains(b, gzipMagic) || Contains(b, piece)) g_snapshot->readable = true;
    }
}

void FlipBodyByte(plat::File& lockedCopy) {
    uint8_t b = 0;
    size_t got = 0;
    ASSERT_TRUE(lockedCopy.Seek(172 + 16 * 7));
    ASSERT_TRUE(lockedCopy.Read(&b, 1, &got));
    b ^= 0x10;
    ASSERT_TRUE(lockedCopy.Seek(172 + 16 * 7));
    ASSERT_TRUE(lockedCopy.Write(&b, 1));
}

}  // namespace

TEST_F(Pipeline, LockingPutsNothingReadableOnDiskBesideThePlainFile) {
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "a compressible line of the user's text " + std::to_string(i) + "\n";
    DiskSnapshot snap;
    snap.folder = dir.Path();
    snap.content = Bytes(text.begin(), text.end());
    snap.plain = Make(L"notes.txt", snap.content);
    g_snapshot = &snap;
    corva::SetBeforeVerifyHookForTesting(TakeSnapshot);
    const bool locked = LockOneFile(snap.plain, kPassword, nullptr);
    corva::SetBeforeVerifyHookForTesting(nullptr);
    ASSERT_TRUE(locked);
    EXPECT_FALSE(snap.readable) << "a compressed or plain copy was on disk";
#ifndef _WIN32
    // On Linux the locked copy has no name at all until it is complete.
    EXPECT_TRUE(snap.others.empty()) << plat::WideToUtf8(snap.others.front());
#else
    // On Windows it has a temporary name and goes with its handle.
    EXPECT_LE(snap.others.size(), 1u);
#endif
    ASSERT_TRUE(UnlockOneFile(snap.plain + L".corvastine", kPassword, nullptr));
    EXPECT_EQ(ReadFileBytes(snap.plain), snap.content);
}

TEST_F(Pipeline, ALockedCopyDamagedBeforeItIsReadBackKeepsThePlainFile) {
    const Bytes content = PseudoRandom(70000, 11);
    std::wstring plain = Make(L"ledger.xls", content);
    corva::SetBeforeVerifyHookForTesting(FlipBodyByte);
    const bool locked = LockOneFile(plain, kPassword, nullptr);
    corva::SetBeforeVerifyHookForTesting(nullptr);
    EXPECT_FALSE(locked);
    EXPECT_EQ(ReadFileBytes(plain), content);
    EXPECT_EQ(ListNames(dir.Path()), std::vector<std::wstring>{L"ledger.xls"});
}

TEST_F(Pipeline, ReadFaultsWhileLockingOrUnlockingChangeNothing) {
    // Larger than one read chunk, so that the source takes several reads.
    const Bytes content = PseudoRandom(1300000, 12);
    std::wstring plain = Make(L"archive.bin", content);
    for (plat::ReadFault kind : {plat::ReadFault::Error, plat::ReadFault::EndOfFile}) {
        for (int nth = 1;; ++nth) {
            SCOPED_TRACE(testing::Message() << (kind == plat::ReadFault::Error ? "error" : "end") << " at read " << nth);
            plat::SetReadFaultForTesting(nth, kind);
            const bool locked = LockOneFile(plain, kPassword, nullptr);
            const bool hit = !plat::ReadFaultPendingForTesting();
            plat::SetReadFaultForTesting(0, kind);
            if (!hit) {
                ASSERT_TRUE(locked);
                ASSERT_TRUE(UnlockOneFile(plain + L".corvastine", kPassword, nullptr));
                break;
            }
            if (locked) {
                // Only a fault that changed nothing (the end of the file
                // reported where it was anyway) may let the lock through.
                EXPECT_EQ(kind, plat::ReadFault::EndOfFile);
                ASSERT_TRUE(UnlockOneFile(plain + L".corvastine", kPassword, nullptr));
            }
            EXPECT_EQ(ReadFileBytes(plain), content);
            ASSERT_EQ(ListNames(dir.Path()), std::vector<std::wstring>{L"archive.bin"});
        }
    }
    ASSERT_TRUE(LockOneFile(plain, kPassword, nullptr));
    const std::wstring locked = plain + L".corvastine";
    const Bytes lockedBytes = ReadFileBytes(locked);
    for (int nth = 1;; ++nth) {
        SCOPED_TRACE(testing::Message() << "unlock, error at read " << nth);
        plat::SetReadFaultForTesting(nth, plat::ReadFault::Error);
        const bool unlocked = UnlockOneFile(locked, kPassword, nullptr);
        const bool hit = !plat::ReadFaultPendingForTesting();
        plat::SetReadFaultForTesting(0, plat::ReadFault::Error);
        if (!hit) {
            EXPECT_TRUE(unlocked);
            EXPECT_EQ(ReadFileBytes(plain), content);
            break;
        }
        EXPECT_FALSE(unlocked);
        EXPECT_EQ(ReadFileBytes(locked), lockedBytes);
        ASSERT_EQ(ListNames(dir.Path()), std::vector<std::wstring>{L"archive.bin.corvastine"});
    }
}
