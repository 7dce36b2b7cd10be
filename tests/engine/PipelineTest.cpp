#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <ctime>

#ifdef _WIN32
#include <windows.h>
#endif

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

// The payload of an empty file is the gzip header with the file's stamp
// (10 + 2 + 4 + 36 bytes), the empty final deflate block (2 bytes) and the
// trailer (8 bytes): 62 bytes in four body blocks.
TEST_F(Pipeline, EmptyFileLocksIntoFourBodyBlocks) {
    std::wstring plain = Make(L"empty.txt", {});
    ASSERT_TRUE(LockOneFile(plain, kPassword, nullptr));
    corva::LockedFileHeader h{};
    ASSERT_TRUE(loadheader((plain + L".corvastine").c_str(), &h, nullptr));
    EXPECT_EQ(h.payloadSize, 62u);
    int64_t size = 0;
    ASSERT_TRUE(plat::FileSize(plain + L".corvastine", &size));
    EXPECT_EQ(size, 172 + 4 * 16);
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

// A read fault at every read: of the plain file (its first megabyte, a
// middle one, the last partial one and the read that finds the end), of the
// locked copy read back, and of the locked file when unlocking. A file of
// one compression part is deflated on the calling thread, a longer one on
// worker threads; one of several megabytes is read back beside its writing.
TEST_F(Pipeline, ReadFaultsWhileLockingOrUnlockingChangeNothing) {
    std::wstring plain;
    Bytes content;
    for (size_t size : {size_t(300000), size_t(2600000), size_t(4500000)}) {
        content = PseudoRandom(size, static_cast<uint32_t>(size));
        plain = Make(L"archive.bin", content);
        for (plat::ReadFault kind : {plat::ReadFault::Error, plat::ReadFault::EndOfFile}) {
            for (int nth = 1;; ++nth) {
                SCOPED_TRACE(testing::Message() << size << " bytes, "
                                                << (kind == plat::ReadFault::Error ? "error" : "end") << " at read "
                                                << nth);
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

namespace {

plat::FileTime Moment(int64_t seconds, uint32_t nanoseconds) {
    plat::FileTime t;
    t.seconds = seconds;
    t.nanoseconds = nanoseconds;
    return t;
}

// The file's modification time as the system reports it.
plat::FileTime Modified(const std::wstring& path) {
    plat::FileTime t;
    EXPECT_TRUE(ModifiedTime(path, &t.seconds, &t.nanoseconds)) << plat::WideToUtf8(path);
    return t;
}

int64_t NowSeconds() { return static_cast<int64_t>(std::time(nullptr)); }

uint64_t Le(const Bytes& b, size_t at, int bytes) {
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b.at(at + static_cast<size_t>(i));
    return v;
}

void PutLe(Bytes* b, size_t at, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b->at(at + static_cast<size_t>(i)) = static_cast<uint8_t>(v >> (8 * i));
}

void RemoveReadOnly(const std::wstring& path) {
    plat::SetReadOnly(path, false);
    plat::RemoveFile(path);
}

}  // namespace

// Lock and unlock give a file back with its modification time (to the
// nanosecond, or to the 100 ns that Windows keeps) and, read-only as it was
// when it was locked, read-only again; on Windows with its hidden, system
// and archive attributes as they were. The locked file itself has the time
// of its writing.
TEST_F(Pipeline, UnlockRestoresTheTimesAndAttributesOfTheLockedFile) {
    const Bytes content = PseudoRandom(20000, 31);
    const std::wstring plain = Make(L"minutes.txt", content);
    plat::FileStamp stamp;
    stamp.modifiedKnown = true;
    stamp.modified = Moment(1000000000, 123456700);
    stamp.attributesKnown = plat::kAttributeReadOnly;
    stamp.attributes = plat::kAttributeReadOnly;
#ifdef _WIN32
    // Hidden set and archive cleared as well. A probe file given the same
    // attributes directly shows what the file system here keeps of them
    // (Wine, for one, may report every file with the archive bit).
    const DWORD kKept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                        FILE_ATTRIBUTE_ARCHIVE;
    stamp.attributesKnown |= plat::kAttributeHidden | plat::kAttributeArchive;
    stamp.attributes |= plat::kAttributeHidden;
    const std::wstring probe = Make(L"probe", {'p'});
    ASSERT_TRUE(::SetFileAttributesW(probe.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    const DWORD kept = ::GetFileAttributesW(probe.c_str()) & kKept;
    RemoveReadOnly(probe);
    ASSERT_TRUE(kept & FILE_ATTRIBUTE_READONLY);
#endif
    ASSERT_TRUE(plat::ApplyStamp(plain, stamp));
    ASSERT_EQ(Modified(plain).seconds, stamp.modified.seconds);
    ASSERT_TRUE(plat::IsReadOnly(plain));

    const int64_t before = NowSeconds();
    ASSERT_TRUE(LockOneFile(plain, kPassword, nullptr));
    const std::wstring locked = plain + L".corvastine";
    EXPECT_FALSE(plat::PathExists(plain));
    EXPECT_GE(Modified(locked).seconds, before - 1) << "the locked file keeps the time of its writing";
    EXPECT_FALSE(plat::IsReadOnly(locked));

    ASSERT_TRUE(UnlockOneFile(locked, kPassword, nullptr));
    EXPECT_EQ(ReadFileBytes(plain), content);
    const plat::FileTime restored = Modified(plain);
    EXPECT_EQ(restored.seconds, stamp.modified.seconds);
    EXPECT_EQ(restored.nanoseconds, stamp.modified.nanoseconds);
    EXPECT_TRUE(plat::IsReadOnly(plain));
#ifdef _WIN32
    EXPECT_EQ(::GetFileAttributesW(plain.c_str()) & kKept, kept);
#endif
    EXPECT_EQ(ListNames(dir.Path()), std::vector<std::wstring>{L"minutes.txt"});
}

// The payload is a gzip stream that any gzip reader inflates (zlib's own
// reader here), whose header holds the stamp where readers pass over it:
// MTIME, and the extra field's subfield "Cv" laid out as GZip.h says.
TEST_F(Pipeline, ThePayloadCarriesTheStampInItsGzipHeader) {
    std::string text;
    for (int i = 0; i < 2000; ++i) text += "line " + std::to_string(i) + " of the minutes\n";
    const Bytes content(text.begin(), text.end());
    const std::wstring plain = Make(L"minutes.txt", content);
    plat::FileStamp stamp;
    stamp.modifiedKnown = true;
    stamp.modified = Moment(1234567890, 987654300);
    stamp.attributesKnown = plat::kAttributeReadOnly;
    stamp.attributes = plat::kAttributeReadOnly;
    ASSERT_TRUE(plat::ApplyStamp(plain, stamp));
    ASSERT_TRUE(LockOneFile(plain, kPassword, nullptr));
    const std::wstring locked = plain + L".corvastine", payload = dir / L"payload.gz";
    ASSERT_EQ(decryptfile(kPassword, locked.c_str(), payload.c_str(), false, nullptr), corva::kOk);

    const Bytes gz = ReadFileBytes(payload);
    ASSERT_GE(gz.size(), 52u + 8u);
    EXPECT_EQ(ToHex(Bytes(gz.begin(), gz.begin() + 4)), "1f8b0804") << "deflate, FEXTRA";
    EXPECT_EQ(Le(gz, 4, 4), 1234567890u) << "MTIME";
    EXPECT_EQ(gz[9], 0x0B);
    EXPECT_EQ(Le(gz, 10, 2), 40u) << "XLEN";
    EXPECT_EQ(gz[12], 'C');
    EXPECT_EQ(gz[13], 'v');
    EXPECT_EQ(Le(gz, 14, 2), 36u);
    const size_t d = 16;
    EXPECT_EQ(Le(gz, d + 0, 4) & plat::kAttributeReadOnly, plat::kAttributeReadOnly);
    EXPECT_EQ(Le(gz, d + 4, 4) & plat::kAttributeReadOnly, plat::kAttributeReadOnly);
    EXPECT_EQ(Le(gz, d + 8, 4) & 1u, 1u) << "modification time known";
    EXPECT_EQ(Le(gz, d + 12, 8), 1234567890u);
    EXPECT_EQ(Le(gz, d + 20, 4), 987654300u);

    gzFile f = gzopen(plat::WideToNarrow(payload).c_str(), "rb");
    ASSERT_NE(f, nullptr);
    Bytes inflated(content.size() + 100);
    const int n = gzread(f, inflated.data(), static_cast<unsigned>(inflated.size()));
    int err = 0;
    gzerror(f, &err);
    EXPECT_EQ(err, Z_OK);
    EXPECT_EQ(gzclose(f), Z_OK) << "CRC and length checked";
    ASSERT_GE(n, 0);
    inflated.resize(static_cast<size_t>(n));
    EXPECT_EQ(inflated, content);
}

namespace {

// The subfield bytes: id, length, and `length` bytes of data laid out as a
// stamp (read-only, modified at seconds.nanoseconds) as far as they reach.
Bytes Subfield(char id0, char id1, size_t length, int64_t seconds, uint32_t nanoseconds) {
    Bytes field(4 + length, 0);
    field[0] = static_cast<uint8_t>(id0);
    field[1] = static_cast<uint8_t>(id1);
    PutLe(&field, 2, length, 2);
    Bytes data(36, 0);
    PutLe(&data, 0, plat::kAttributeReadOnly, 4);
    PutLe(&data, 4, plat::kAttributeReadOnly, 4);
    PutLe(&data, 8, 1, 4);
    PutLe(&data, 12, static_cast<uint64_t>(seconds), 8);
    PutLe(&data, 20, nanoseconds, 4);
    const size_t kept = std::min<size_t>(length, data.size());
    std::copy(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(kept), field.begin() + 4);
    return field;
}

// One gzip member of content, written by zlib with the given MTIME and
// extra field (none when empty).
Bytes GzipMember(const Bytes& content, uint32_t mtime = 0, const Bytes& extra = {}) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY), Z_OK);
    gz_header h{};
    h.os = 0x0B;
    h.time = mtime;
    Bytes field = extra;
    if (!field.empty()) {
        h.extra = field.data();
        h.extra_len = static_cast<uInt>(field.size());
    }
    EXPECT_EQ(deflateSetHeader(&z, &h), Z_OK);
    Bytes gz(deflateBound(&z, static_cast<uLong>(content.size())) + 64 + field.size());
    z.next_in = const_cast<Bytef*>(content.data());
    z.avail_in = static_cast<uInt>(content.size());
    z.next_out = gz.data();
    z.avail_out = static_cast<uInt>(gz.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    gz.resize(gz.size() - z.avail_out);
    deflateEnd(&z);
    return gz;
}

// A locked file whose payload is exactly these bytes.
void LockPayload(const std::wstring& locked, const std::wstring& scratch, const Bytes& payload) {
    ASSERT_TRUE(WriteFileBytes(scratch, payload));
    ASSERT_EQ(encryptfile(kPassword, scratch.c_str(), locked.c_str(), false, nullptr), corva::kOk);
    ASSERT_TRUE(plat::RemoveFile(scratch));
}

}  // namespace

// Only a subfield of the stamp's id and exact length is taken; one of
// another id, a shorter or longer one, or one that overruns the extra field
// is passed over like any other (the file then gets the time of its
// unlocking), and MTIME alone is not taken either. The stamp is found
// after a subfield of another id.
TEST_F(Pipeline, AnExtraFieldWithoutAWholeStampIsIgnored) {
    const Bytes content = PseudoRandom(3000, 41);
    const int64_t then = 1100000000;
    const uint32_t nanoseconds = 55500;
    const Bytes stamp = Subfield('C', 'v', 36, then, nanoseconds);
    Bytes afterAnother = Subfield('X', 'y', 36, then + 7, 0);
    afterAnother.insert(afterAnother.end(), stamp.begin(), stamp.end());
    const struct {
        const char* what;
        Bytes extra;
        bool taken;
    } cases[] = {
        {"the stamp", stamp, true},
        {"the stamp after another subfield", afterAnother, true},
        {"another id", Subfield('C', 'w', 36, then, nanoseconds), false},
        {"a short subfield", Subfield('C', 'v', 35, then, nanoseconds), false},
        {"a long subfield", Subfield('C', 'v', 40, then, nanoseconds), false},
        {"a subfield overrunning the field", Bytes(stamp.begin(), stamp.begin() + 30), false},
        {"MTIME alone", {}, false},
    };
    const std::wstring plain = dir / L"data.bin", locked = plain + L".corvastine";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LockPayload(locked, dir / L"payload.gz", GzipMember(content, static_cast<uint32_t>(then), c.extra));
        const int64_t before = NowSeconds();
        ASSERT_EQ(corva::UnlockFile(locked, kPassword, false, nullptr), corva::kOk);
        EXPECT_EQ(ReadFileBytes(plain), content);
        const plat::FileTime t = Modified(plain);
        if (c.taken) {
            EXPECT_EQ(t.seconds, then);
            EXPECT_EQ(t.nanoseconds, nanoseconds);
            EXPECT_TRUE(plat::IsReadOnly(plain));
        } else {
            EXPECT_GE(t.seconds, before - 1);
            EXPECT_FALSE(plat::IsReadOnly(plain));
        }
        RemoveReadOnly(plain);
        ASSERT_TRUE(ListNames(dir.Path()).empty());
    }
}

// Damaged payloads that zlib still inflates to their end: a member whose
// length trailer (ISIZE) is wrong, and a header payload size short of the
// stream the body holds, ending inside the last member (the body's length
// still fits the size) or right after a whole earlier member (a valid
// stream of less than the file). Verify and unlock both refuse them, and
// nothing is replaced or deleted: neither the locked file nor a namesake.
TEST_F(Pipeline, DamagedStreamsThatStillInflateAreRefused) {
    const Bytes first = PseudoRandom(3000, 51), second = PseudoRandom(700, 52);
    const Bytes memberA = GzipMember(first), memberB = GzipMember(second);
    Bytes both = memberA;
    both.insert(both.end(), memberB.begin(), memberB.end());
    ASSERT_NE(both.size() % 16, 0u) << "a cut inside the last block must be possible";
    Bytes wrongLength = memberA;
    wrongLength[wrongLength.size() - 4] ^= 0x01;  // ISIZE, little-endian

    const std::wstring plain = Make(L"report.txt", {'m', 'i', 'n', 'e'});
    const std::wstring locked = plain + L".corvastine";
    const struct {
        const char* what;
        Bytes payload;
        uint64_t sizeInHeader;
    } cases[] = {
        {"wrong length trailer", wrongLength, wrongLength.size()},
        {"payload size ending inside the last member", both, both.size() - both.size() % 16},
        {"payload size ending after the first member", both, memberA.size()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LockPayload(locked, dir / L"payload.gz", c.payload);
        Bytes lockedBytes = ReadFileBytes(locked);
        PutLe(&lockedBytes, 164, c.sizeInHeader, 8);
        ASSERT_TRUE(WriteFileBytes(locked, lockedBytes));
        EXPECT_EQ(corva::VerifyLockedFile(kPassword, locked, nullptr), corva::kDamagedPayload);
        EXPECT_EQ(corva::UnlockFile(locked, kPassword, true, nullptr), corva::kDamagedPayload);
        EXPECT_EQ(ReadFileBytes(locked), lockedBytes);
        EXPECT_EQ(ReadFileBytes(plain), Bytes({'m', 'i', 'n', 'e'}));
        EXPECT_EQ(ListNames(dir.Path()), (std::vector<std::wstring>{L"report.txt", L"report.txt.corvastine"}));
        ASSERT_TRUE(plat::RemoveFile(locked));
    }
}
