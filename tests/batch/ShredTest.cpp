// Shredding: the call of the wiping library (name, export, argument vector,
// result), what is deleted afterwards, and links inside shredded folders.
#include <gtest/gtest.h>

#include <algorithm>

#include "BatchTestSupport.h"
#include "LinkSupport.h"
#include "engine/Batch.h"
#include "engine/LockedFile.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace testing_support;
using namespace batch_test;

namespace {

Bytes Filled(size_t size, uint8_t value) { return Bytes(size, value); }

}  // namespace

TEST(ShredPathTest, TheLibraryBesideTheProgramWipesWithoutDeleting) {
    ASSERT_TRUE(plat::PathExists(BesideTest(kWipeLibraryName)));
    TempDir dir;
    const Bytes original = Filled(100003, 0x5A);
    ASSERT_TRUE(WriteFileBytes(dir / L"file.bin", original));
    EXPECT_TRUE(ShredPath(dir / L"file.bin"));
    const Bytes after = ReadFileBytes(dir / L"file.bin");
    EXPECT_TRUE(NoBlockSurvives(after, original));
}

TEST(ShredPathTest, HandsTheLibraryTheFixedArgumentVector) {
    FakeWipe fake;
    ASSERT_TRUE(fake.Ready());
    TempDir dir;
    ASSERT_TRUE(WriteFileText(dir / L"report 1.doc", "x"));
    fake.Reset(0, false);
    EXPECT_TRUE(ShredPath(dir / L"report 1.doc", fake.Path()));
    fake.Reset(3, false);
    EXPECT_FALSE(ShredPath(dir / L"report 1.doc", fake.Path()));
    ASSERT_EQ(fake.CallCount(), 1);
    EXPECT_EQ(fake.Call(0), ExpectedWipeCall(dir / L"report 1.doc"));
    // The library only wipes: the file is still there.
    EXPECT_TRUE(plat::PathExists(dir / L"report 1.doc"));
}

TEST(ShredPathTest, MissingLibraryOrExportFailsWithoutACall) {
    TempDir dir;
    ASSERT_TRUE(WriteFileText(dir / L"f", "keep me"));
    EXPECT_FALSE(ShredPath(dir / L"f", dir / kWipeLibraryName));
    EXPECT_FALSE(ShredPath(dir / L"f", BesideTest(NoWipeName())));
    EXPECT_FALSE(ShredPath(dir / L"f", L""));
    EXPECT_EQ(ReadFileBytes(dir / L"f"), Bytes({'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
}

// The library takes names in the ANSI code page. U+0101 has no place in the
// Western code pages and would be narrowed to a plain "a", naming another
// file: such a name goes by its short (8.3) name, which converts exactly
// and names the same file; without one, the file is refused and the batch
// says why.
TEST(ShredPathTest, ANameWithoutAnExactAnsiFormGoesByItsShortNameOrIsRefused) {
    FakeWipe fake;
    ASSERT_TRUE(fake.Ready());
    fake.Reset(0, false);
    TempDir dir;
    const std::wstring odd = dir / L"\u0101.txt";
    ASSERT_TRUE(WriteFileText(odd, "odd"));
    ASSERT_TRUE(WriteFileText(dir / L"a.txt", "plain a"));
    const bool exact = plat::NarrowToWide(plat::WideToNarrow(odd)) == odd;
#ifndef _WIN32
    EXPECT_TRUE(exact);  // narrow text is UTF-8 here
#endif
    const bool handed = exact || !plat::ShortPathName(odd).empty();
    std::string narrow;
    if (exact) {
        EXPECT_TRUE(ShredPath(odd, fake.Path()));
        EXPECT_EQ(fake.Call(0), ExpectedWipeCall(odd));
    } else if (handed) {
        ASSERT_TRUE(WipeArgument(odd, &narrow));
        const std::wstring shortName = plat::NarrowToWide(narrow);
        EXPECT_NE(shortName, odd);
        EXPECT_NE(narrow, plat::WideToNarrow(dir / L"a.txt"));
        plat::FileId a, b;
        ASSERT_TRUE(plat::GetFileId(odd, &a) && plat::GetFileId(shortName, &b));
        EXPECT_TRUE(a == b) << "the short name names another file";
        EXPECT_TRUE(ShredPath(odd, fake.Path()));
        ASSERT_EQ(fake.CallCount(), 1);
        EXPECT_EQ(fake.Call(0), "6|dwipe-4.2.exe|-7|-f|-n|2|" + narrow);

        // Where short names are switched off, nothing reaches the library
        // and the summary names the file.
        plat::SetShortNamesForTesting(false);
        EXPECT_FALSE(WipeArgument(odd, &narrow));
        ShredBatch refused({odd}, nullptr, fake.Path());
        RunToEnd(refused);
        plat::SetShortNamesForTesting(true);
        EXPECT_EQ(fake.CallCount(), 1);
        EXPECT_EQ(ReadFileBytes(odd), Bytes({'o', 'd', 'd'}));
        const auto failures = refused.Failures();
        ASSERT_EQ(failures.size(), 1u);
        EXPECT_EQ(failures[0].path, odd);
        EXPECT_EQ(failures[0].reason, corva::FailureReason::NameNotShreddable);
    }
    EXPECT_EQ(ReadFileBytes(dir / L"a.txt").size(), 7u);

    // Through a whole batch with the real library: the selected file is
    // wiped and deleted (when it can be handed over), the look-alike never
    // touched.
    ShredBatch batch({odd});
    RunToEnd(batch);
    const std::string plainA = "plain a";
    EXPECT_EQ(ReadFileBytes(dir / L"a.txt"), Bytes(plainA.begin(), plainA.end()));
    EXPECT_EQ(plat::PathExists(odd), !handed);
    EXPECT_EQ(batch.Failures().empty(), handed);
}

TEST(ShredBatchTest, AFolderTreeIsWipedThenRemovedFilesFirst) {
    TempDir dir;
    const std::wstring root = dir / L"victim";
    ASSERT_TRUE(MakeFolder(root));
    ASSERT_TRUE(MakeFolder(Join(root, L"sub")));
    ASSERT_TRUE(MakeFolder(Join(Join(root, L"sub"), L"deep")));
    const Bytes original = Filled(70001, 0xC3);
    const std::wstring deepFile = Join(Join(Join(root, L"sub"), L"deep"), L"d.bin");
    ASSERT_TRUE(WriteFileBytes(Join(root, L"a.bin"), original));
    ASSERT_TRUE(WriteFileBytes(Join(Join(root, L"sub"), L"b.bin"), original));
    ASSERT_TRUE(WriteFileBytes(deepFile, original));
    ASSERT_TRUE(plat::SetReadOnly(Join(root, L"a.bin"), true));
    // Second names outside the tree let the test see what the wipe left.
    const bool watched = MakeHardLink(deepFile, dir / L"watch-deep") &&
                         MakeHardLink(Join(root, L"a.bin"), dir / L"watch-a");

    ShredBatch batch({root});
    RunToEnd(batch);
    bool stop = false;
    std::wstring status;
    batch.GetProgress(&stop, &status);
    EXPECT_EQ(status, L"Tocal files:1 processed files:1");
    EXPECT_FALSE(plat::PathExists(root));
    if (watched) {
        EXPECT_TRUE(NoBlockSurvives(ReadFileBytes(dir / L"watch-deep"), original));
        EXPECT_TRUE(NoBlockSurvives(ReadFileBytes(dir / L"watch-a"), original));
    }
}

TEST(ShredBatchTest, LinksInsideAShreddedFolderGoAsLinksTheirTargetsStay) {
    TempDir dir;
    link_support::LinkCleanup links;
    const std::wstring root = dir / L"victim";
    const std::wstring outside = dir / L"outside";
    ASSERT_TRUE(MakeFolder(root));
    ASSERT_TRUE(MakeFolder(outside));
    const Bytes keep = Filled(5000, 0x11);
    ASSERT_TRUE(WriteFileBytes(Join(outside, L"keep.bin"), keep));
    ASSERT_TRUE(WriteFileBytes(dir / L"lone.bin", keep));
    ASSERT_TRUE(WriteFileText(Join(root, L"own.txt"), "own"));
    if (!link_support::MakeTestLink(outside, Join(root, L"to-folder"))) GTEST_SKIP() << "links cannot be made here";
    const bool fileLinks = link_support::MakeTestLink(dir / L"lone.bin", Join(root, L"to-file")) &&
                           link_support::MakeTestLink(dir / L"lone.bin", dir / L"selected-file-link");
    // Links selected by themselves.
    ASSERT_TRUE(link_support::MakeTestLink(outside, dir / L"selected-folder-link"));
    std::vector<std::wstring> selection = {root, dir / L"selected-folder-link"};
    if (fileLinks) selection.push_back(dir / L"selected-file-link");

    ShredBatch batch(selection);
    RunToEnd(batch);
    EXPECT_EQ(ReadFileBytes(Join(outside, L"keep.bin")), keep);
    EXPECT_EQ(ReadFileBytes(dir / L"lone.bin"), keep);
    EXPECT_EQ(ListNames(outside), std::vector<std::wstring>{L"keep.bin"});
    if (link_support::RemovesLinksAsLinks()) {
        EXPECT_EQ(ListNames(dir.Path()), (std::vector<std::wstring>{L"lone.bin", L"outside"}));
    } else {
        // Links that cannot be removed as links here stay, with the folder
        // that holds them.
        EXPECT_TRUE(plat::IsLink(Join(root, L"to-folder")));
        EXPECT_TRUE(plat::IsLink(dir / L"selected-folder-link"));
    }
}

TEST(ShredBatchTest, WithoutTheLibraryEverythingStays) {
    TempDir dir;
    const std::wstring root = dir / L"tree";
    ASSERT_TRUE(MakeFolder(root));
    ASSERT_TRUE(WriteFileText(Join(root, L"in.txt"), "inside"));
    ASSERT_TRUE(WriteFileText(dir / L"file.txt", "file"));
    for (const std::wstring& library : {dir / L"absent-library", BesideTest(NoWipeName())}) {
        ShredBatch batch({root, dir / L"file.txt"}, nullptr, library);
        RunToEnd(batch);
        std::wstring status;
        batch.GetProgress(nullptr, &status);
        EXPECT_EQ(status, L"Tocal files:2 processed files:2");
        EXPECT_EQ(ReadFileBytes(Join(root, L"in.txt")), Bytes({'i', 'n', 's', 'i', 'd', 'e'}));
        EXPECT_EQ(ReadFileBytes(dir / L"file.txt"), Bytes({'f', 'i', 'l', 'e'}));
    }
}

TEST(ShredBatchTest, AFailedWipeLeavesTheEntryAndTheBatchGoesOn) {
    FakeWipe fake;
    ASSERT_TRUE(fake.Ready());
    fake.Reset(2, false);
    TempDir dir;
    ASSERT_TRUE(WriteFileText(dir / L"a", "a"));
    ASSERT_TRUE(WriteFileText(dir / L"b", "b"));
    ShredBatch batch({dir / L"a", dir / L"missing", dir / L"b"}, nullptr, fake.Path());
    RunToEnd(batch);
    EXPECT_EQ(fake.CallCount(), 3);
    EXPECT_EQ(ListNames(dir.Path()), (std::vector<std::wstring>{L"a", L"b"}));
}

// Only name surrogates (symbolic links, junctions, mount points) are links;
// cloud placeholders, deduplicated, compressed and archived files are files
// like any other and are wiped, locked and unlocked through their filters.
TEST(ReparsePoints, OnlyNameSurrogatesAreLinks) {
    struct Tag {
        uint32_t tag;
        bool link;
    };
    const Tag tags[] = {
        {0xA000000Cu, true},   // symbolic link
        {0xA0000003u, true},   // mount point, junction
        {0xA000001Du, true},   // WSL symbolic link (LX_SYMLINK)
        {0x00000000u, true},   // unreadable: taken for a link, to be safe
        {0x9000001Au, false},  // cloud files (OneDrive placeholder)
        {0x9000601Au, false},  // cloud files, another variant
        {0x80000013u, false},  // deduplicated
        {0x80000017u, false},  // system-compressed (WOF)
        {0xC0000004u, false},  // hierarchical storage (HSM)
        {0x8000001Bu, false},  // app execution alias: not a name surrogate
    };
    for (const Tag& t : tags) EXPECT_EQ(plat::IsLinkReparseTag(t.tag), t.link) << std::hex << t.tag;
}

#ifndef _WIN32
// A FIFO has nothing to wipe: the wiping library leaves it, and so shredding
// must not delete it; opening it would hang.
TEST(ShredBatchTest, NeverDeletesWhatWasNotWiped) {
    TempDir dir;
    const std::wstring folder = dir / L"tree";
    ASSERT_TRUE(MakeFolder(folder));
    ASSERT_TRUE(WriteFileBytes(Join(folder, L"data.bin"), Filled(5000, 0x33)));
    ASSERT_EQ(::mkfifo(plat::WideToUtf8(Join(folder, L"pipe")).c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(plat::WideToUtf8(dir / L"lone-pipe").c_str(), 0600), 0);
    {
        ShredBatch batch({folder, dir / L"lone-pipe"}, nullptr, BesideTest(kWipeLibraryName));
        RunToEnd(batch);
    }
    EXPECT_EQ(ListNames(folder), std::vector<std::wstring>{L"pipe"}) << "the file wiped and deleted, the FIFO kept";
    EXPECT_EQ(plat::KindOf(dir / L"lone-pipe"), plat::EntryKind::Special);
}

// Locking a folder with a FIFO in it locks the files and skips the FIFO
// without opening it (opening one for reading waits for a writer forever).
TEST(LockBatchTest, FifosAreSkippedLikeLinks) {
    TempDir dir;
    const std::wstring folder = dir / L"tree";
    ASSERT_TRUE(MakeFolder(folder));
    ASSERT_TRUE(WriteFileText(Join(folder, L"a.txt"), "a"));
    ASSERT_EQ(::mkfifo(plat::WideToUtf8(Join(folder, L"pipe")).c_str(), 0600), 0);
    {
        LockBatch batch({folder}, "pw", nullptr);
        RunToEnd(batch);
    }
    EXPECT_EQ(ListNames(folder), (std::vector<std::wstring>{L"a.txt.corvastine", L"pipe"}));
    EXPECT_FALSE(LockOneFile(Join(folder, L"pipe"), "pw", nullptr));
    EXPECT_TRUE(UnlockPath(folder, "pw", nullptr));
    EXPECT_EQ(ListNames(folder), (std::vector<std::wstring>{L"a.txt", L"pipe"}));
}
#endif
