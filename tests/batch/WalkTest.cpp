// The folder walk and the path operations built on it: depth-first order,
// the folder last, the stop at the first failure, and links never followed.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "BatchTestSupport.h"
#include "LinkSupport.h"
#include "engine/Batch.h"
#include "engine/LockedFile.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

const char kPassword[] = "walk password";

struct Recorder {
    std::vector<std::wstring> visited;
    std::wstring failOn;
};

bool Record(const std::wstring& path, void* context) {
    auto* r = static_cast<Recorder*>(context);
    r->visited.push_back(path);
    return path != r->failOn;
}

// The visit order the walk must produce: entries in the order the system
// lists them, a sub-folder's whole walk in place of the sub-folder, the
// folder itself last.
void ExpectedOrder(const std::wstring& folder, std::vector<std::wstring>* out) {
    std::vector<std::wstring> names;
    ASSERT_TRUE(plat::ListFolder(folder, &names));
    for (const auto& n : names) {
        const std::wstring p = Join(folder, n);
        if (plat::IsDirectory(p))
            ExpectedOrder(p, out);
        else
            out->push_back(p);
    }
    out->push_back(folder);
}

size_t IndexOf(const std::vector<std::wstring>& v, const std::wstring& x) {
    return static_cast<size_t>(std::find(v.begin(), v.end(), x) - v.begin());
}

class WalkTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = dir / L"root";
        ASSERT_TRUE(MakeFolder(root));
        ASSERT_TRUE(MakeFolder(Join(root, L"sub")));
        ASSERT_TRUE(MakeFolder(Join(Join(root, L"sub"), L"deeper")));
        ASSERT_TRUE(MakeFolder(Join(root, L"empty")));
        ASSERT_TRUE(WriteFileText(Join(root, L"a.txt"), "a"));
        ASSERT_TRUE(WriteFileText(Join(root, L"z.txt"), "z"));
        ASSERT_TRUE(WriteFileText(Join(Join(root, L"sub"), L"b.txt"), "b"));
        ASSERT_TRUE(WriteFileText(Join(Join(Join(root, L"sub"), L"deeper"), L"c.txt"), "c"));

        // Outside the walked folder: a folder with a file, and a lone file.
        outside = dir / L"outside";
        ASSERT_TRUE(MakeFolder(outside));
        ASSERT_TRUE(WriteFileText(Join(outside, L"secret.txt"), "outside data"));
        outsideFile = dir / L"outside.txt";
        ASSERT_TRUE(WriteFileText(outsideFile, "lone outside file"));
        outsideEmpty = dir / L"outside-empty";
        ASSERT_TRUE(MakeFolder(outsideEmpty));
    }

    // Links inside the walked folder to both outside targets. The folder
    // link is required (the test is skipped where none can be made); the
    // file link is made where the system allows it (not under Wine), and so
    // is a junction to the outside folder (on Windows, not under Wine).
    bool AddLinks() {
        linkDir = Join(root, L"linkdir");
        linkEmpty = Join(Join(root, L"sub"), L"linkempty");
        linkFile = Join(Join(root, L"sub"), L"linkfile");
        junction = Join(Join(root, L"sub"), L"junction");
        haveFileLink = link_support::MakeTestLink(outsideFile, linkFile);
        haveJunction = link_support::MakeTestJunction(outside, junction);
        return link_support::MakeTestLink(outside, linkDir) && link_support::MakeTestLink(outsideEmpty, linkEmpty);
    }
    size_t LinkCount() const { return 2 + (haveFileLink ? 1 : 0) + (haveJunction ? 1 : 0); }

    void ExpectOutsideUntouched() {
        EXPECT_EQ(ListNames(outside), std::vector<std::wstring>{L"secret.txt"});
        const std::string secret = "outside data";
        EXPECT_EQ(ReadFileBytes(Join(outside, L"secret.txt")), Bytes(secret.begin(), secret.end()));
        const std::string lone = "lone outside file";
        EXPECT_EQ(ReadFileBytes(outsideFile), Bytes(lone.begin(), lone.end()));
        EXPECT_FALSE(plat::PathExists(outsideFile + L".corvastine"));
        EXPECT_TRUE(plat::IsDirectory(outsideEmpty));
    }

    TempDir dir;
    link_support::LinkCleanup links;  // before dir goes
    std::wstring root, outside, outsideFile, outsideEmpty, linkDir, linkEmpty, linkFile, junction;
    bool haveFileLink = false;
    bool haveJunction = false;
};

}  // namespace

TEST_F(WalkTest, DepthFirstInListingOrderWithEachFolderLast) {
    Recorder r;
    EXPECT_TRUE(WalkFolder(root, &r, Record));
    std::vector<std::wstring> expected;
    ExpectedOrder(root, &expected);
    EXPECT_EQ(r.visited, expected);
    // 4 files and 4 folders, each once; every folder after what it holds.
    ASSERT_EQ(r.visited.size(), 8u);
    EXPECT_EQ(r.visited.back(), root);
    const std::wstring sub = Join(root, L"sub"), deeper = Join(sub, L"deeper");
    EXPECT_LT(IndexOf(r.visited, Join(deeper, L"c.txt")), IndexOf(r.visited, deeper));
    EXPECT_LT(IndexOf(r.visited, deeper), IndexOf(r.visited, sub));
    EXPECT_LT(IndexOf(r.visited, Join(sub, L"b.txt")), IndexOf(r.visited, sub));
    EXPECT_LT(IndexOf(r.visited, Join(root, L"empty")), r.visited.size());
}

TEST_F(WalkTest, AFailureDoesNotStopTheWalkButIsReported) {
    std::vector<std::wstring> expected;
    ExpectedOrder(root, &expected);
    for (size_t failAt : {size_t(0), size_t(3), expected.size() - 2}) {
        Recorder r;
        r.failOn = expected[failAt];
        EXPECT_FALSE(WalkFolder(root, &r, Record));
        EXPECT_EQ(r.visited, expected);
    }
    Recorder last;
    last.failOn = root;
    EXPECT_FALSE(WalkFolder(root, &last, Record));
    EXPECT_EQ(last.visited, expected);
}

TEST_F(WalkTest, AFolderThatCannotBeListedFails) {
    Recorder r;
    EXPECT_FALSE(WalkFolder(dir / L"no-such-folder", &r, Record));
    EXPECT_TRUE(r.visited.empty());
}

TEST_F(WalkTest, LinksAreHandedOverAsEntriesAndNeverEntered) {
    if (!AddLinks()) GTEST_SKIP() << "links cannot be made here";
    Recorder r;
    EXPECT_TRUE(WalkFolder(root, &r, Record));
    EXPECT_LT(IndexOf(r.visited, linkDir), r.visited.size());
    if (haveFileLink) {
        EXPECT_LT(IndexOf(r.visited, linkFile), r.visited.size());
    }
    for (const auto& p : r.visited) EXPECT_EQ(p.find(L"secret"), std::wstring::npos) << plat::WideToUtf8(p);
    EXPECT_EQ(r.visited.size(), 8u + LinkCount());

    // A link given as the folder itself is not entered either.
    Recorder top;
    EXPECT_TRUE(WalkFolder(linkDir, &top, Record));
    EXPECT_EQ(top.visited, std::vector<std::wstring>{linkDir});
}

TEST_F(WalkTest, LockAndUnlockNeverActThroughALink) {
    if (!AddLinks()) GTEST_SKIP() << "links cannot be made here";
    // A locked file outside, reachable through the folder link.
    ASSERT_TRUE(WriteFileText(Join(outside, L"locked.txt"), "locked outside"));
    ASSERT_TRUE(LockOneFile(Join(outside, L"locked.txt"), kPassword, nullptr));
    const Bytes lockedBefore = ReadFileBytes(Join(outside, L"locked.txt.corvastine"));
    ASSERT_FALSE(lockedBefore.empty());

    {
        // Links met inside the walk are passed over, and are no failures.
        LockBatch batch({root}, kPassword, nullptr);
        ASSERT_TRUE(batch.Start(0));
        batch_test::WaitForStopFlag(batch);
        batch.Stop();
        EXPECT_TRUE(batch.Failures().empty());
        EXPECT_EQ(batch.FilesDone(), 4u);
    }
    EXPECT_TRUE(IsLockedFile(Join(root, L"a.txt.corvastine")));
    EXPECT_TRUE(IsLockedFile(Join(Join(Join(root, L"sub"), L"deeper"), L"c.txt.corvastine")));
    EXPECT_TRUE(plat::IsLink(linkDir));
    EXPECT_FALSE(plat::PathExists(linkDir + L".corvastine"));
    if (haveFileLink) {
        EXPECT_TRUE(plat::IsLink(linkFile));
        EXPECT_FALSE(plat::PathExists(linkFile + L".corvastine"));
    }
    if (haveJunction) {
        EXPECT_TRUE(plat::IsLink(junction));
    }
    EXPECT_EQ(ListNames(outside), (std::vector<std::wstring>{L"locked.txt.corvastine", L"secret.txt"}));
    const std::string lone = "lone outside file";
    EXPECT_EQ(ReadFileBytes(outsideFile), Bytes(lone.begin(), lone.end()));

    // Unlocking the folder unlocks its own files and leaves the outside
    // locked file alone.
    EXPECT_TRUE(UnlockPath(root, kPassword, nullptr));
    EXPECT_EQ(ReadFileBytes(Join(root, L"a.txt")), Bytes({'a'}));
    EXPECT_EQ(ReadFileBytes(Join(outside, L"locked.txt.corvastine")), lockedBefore);
    EXPECT_FALSE(plat::PathExists(Join(outside, L"locked.txt")));

    // A link selected by itself is left alone.
    if (haveFileLink) {
        EXPECT_FALSE(LockPath(linkFile, kPassword, nullptr));
        EXPECT_TRUE(plat::IsLink(linkFile));
    }
    EXPECT_FALSE(LockPath(linkDir, kPassword, nullptr));
    EXPECT_FALSE(UnlockPath(linkDir, kPassword, nullptr));
    EXPECT_TRUE(plat::IsLink(linkDir));
    EXPECT_EQ(ReadFileBytes(outsideFile), Bytes(lone.begin(), lone.end()));
    EXPECT_EQ(ReadFileBytes(Join(outside, L"locked.txt.corvastine")), lockedBefore);
}

TEST_F(WalkTest, ShredNeverWipesThroughALink) {
    if (!AddLinks()) GTEST_SKIP() << "links cannot be made here";
    ShredBatch batch({root}, nullptr, batch_test::BesideTest(kWipeLibraryName));
    batch_test::RunToEnd(batch);
    ExpectOutsideUntouched();
    EXPECT_EQ(batch.FilesDone(), 4u);
    // Links inside the walk are removed as links where the system can, and
    // left (with their folders) where it cannot; neither is a failure.
    EXPECT_TRUE(batch.Failures().empty());
    EXPECT_EQ(plat::PathExists(root), !link_support::RemovesLinksAsLinks());
}

TEST_F(WalkTest, DeleteRemovesTheTreeAndLinksButNotTheirTargets) {
    if (!AddLinks()) GTEST_SKIP() << "links cannot be made here";
    if (link_support::RemovesLinksAsLinks()) {
        EXPECT_TRUE(DeletePath(root, true));
        EXPECT_FALSE(plat::PathExists(root));
    } else {
        // A link that cannot be removed as a link stops the deletion there.
        EXPECT_FALSE(DeletePath(root, true));
        EXPECT_TRUE(plat::IsLink(linkDir) || plat::IsLink(linkEmpty));
    }
    ExpectOutsideUntouched();
}

TEST_F(WalkTest, DeleteOfALinkRemovesOnlyTheLink) {
    if (!AddLinks()) GTEST_SKIP() << "links cannot be made here";
    const bool removes = link_support::RemovesLinksAsLinks();
    // Even when taken for a folder; a link to an empty folder is where
    // removing the target instead would go unnoticed.
    EXPECT_EQ(DeletePath(linkDir, true), removes);
    EXPECT_EQ(DeletePath(linkEmpty, true), removes);
    EXPECT_EQ(DeletePath(linkEmpty, false), false);
    EXPECT_EQ(plat::PathExists(linkDir), !removes);
    EXPECT_EQ(plat::IsLink(linkEmpty), !removes);
    if (haveFileLink) {
        EXPECT_TRUE(DeletePath(linkFile, false));
        EXPECT_FALSE(plat::PathExists(linkFile));
    }
    ExpectOutsideUntouched();
    EXPECT_FALSE(plat::RemoveLink(outsideEmpty));  // a real folder is no link
    EXPECT_TRUE(plat::IsDirectory(outsideEmpty));
}

TEST_F(WalkTest, DeleteOfAFileAndOfAFolderTree) {
    EXPECT_TRUE(DeletePath(Join(root, L"a.txt"), false));
    EXPECT_FALSE(plat::PathExists(Join(root, L"a.txt")));
    EXPECT_FALSE(DeletePath(Join(root, L"a.txt"), false));
    EXPECT_TRUE(DeletePath(root, true));
    EXPECT_FALSE(plat::PathExists(root));
    EXPECT_EQ(ListNames(dir.Path()), (std::vector<std::wstring>{L"outside", L"outside-empty", L"outside.txt"}));
}

// What a killed run may have left: a temporary named after a file of the
// folder, empty, holding a gzip payload or a whole copy of that file.
// Removed by the next lock or unlock there; names that only look alike, or
// hold something else, are the user's.
TEST(StaleTemporaries, AreRemovedByTheNextLockOrUnlockOfTheirFolder) {
    TempDir dir;
    const std::wstring folder = dir / L"docs";
    ASSERT_TRUE(MakeFolder(folder));
    ASSERT_TRUE(WriteFileText(Join(folder, L"a.txt"), "a"));
    ASSERT_TRUE(WriteFileText(Join(folder, L"b.txt"), "b"));
    const Bytes gzip = {0x1F, 0x8B, 0x08, 0, 0, 0, 0, 0, 0, 0x0B, 0x4B, 0x04, 0x00};
    const std::wstring guid = L"0A1B2C3D4E5Fa6b7C8D9E0F1A2B3C4D5.xml";
    ASSERT_TRUE(WriteFileBytes(Join(folder, L"a.txt" + guid), gzip));                  // stale: goes
    ASSERT_TRUE(WriteFileBytes(Join(folder, L"b.txt.corvastine" + guid), Bytes()));    // stale, empty: goes
    ASSERT_TRUE(WriteFileBytes(Join(folder, L"c.txt" + guid), gzip));                  // no c.txt: stays
    ASSERT_TRUE(WriteFileText(Join(folder, L"b.txt" + guid), "<xml/>"));               // not gzip: stays
    ASSERT_TRUE(WriteFileBytes(Join(folder, L"a.txt0A1B2C3D4E5Fa6b7C8D9E0F1A2B3C4DZ.xml"), gzip));  // not the format
    // A whole copy of its file (a replacing unlock killed before its
    // rename) goes; one that differs in its last byte is kept.
    Bytes big(150000);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7 + i / 251);
    ASSERT_TRUE(WriteFileBytes(Join(folder, L"e.bin"), big));
    ASSERT_TRUE(WriteFileBytes(Join(folder, L"e.bin" + guid), big));                    // a copy: goes
    ASSERT_TRUE(WriteFileBytes(Join(folder, L"f.bin"), big));
    big.back() ^= 1;
    ASSERT_TRUE(WriteFileBytes(Join(folder, L"f.bin" + guid), big));                    // differs: stays
    ASSERT_TRUE(UnlockPath(folder, "pw", nullptr));
    std::vector<std::wstring> expected = {L"a.txt", L"a.txt0A1B2C3D4E5Fa6b7C8D9E0F1A2B3C4DZ.xml", L"b.txt",
                                          L"b.txt" + guid, L"c.txt" + guid, L"e.bin", L"f.bin", L"f.bin" + guid};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ListNames(folder), expected);
    // Once more for lock, this time beside the locked form of the file.
    ASSERT_TRUE(LockOneFile(Join(folder, L"a.txt"), "pw", nullptr));
    ASSERT_TRUE(WriteFileBytes(Join(folder, L"a.txt" + guid), gzip));
    ASSERT_TRUE(WriteFileText(Join(folder, L"d.txt"), "d"));
    EXPECT_TRUE(LockPath(Join(folder, L"d.txt"), "pw", nullptr));
    EXPECT_FALSE(plat::PathExists(Join(folder, L"a.txt" + guid)));
    EXPECT_TRUE(plat::PathExists(Join(folder, L"c.txt" + guid)));
}
