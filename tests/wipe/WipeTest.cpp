// The wiping library called directly through its export: what it
// overwrites, what it leaves alone, and how it answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../batch/LinkSupport.h"
#include "engine/Batch.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

#ifdef _WIN32
#include <windows.h>
#define WIPE_CALL __cdecl
#else
#include <sys/stat.h>
#include <unistd.h>
#define WIPE_CALL
#endif

using namespace testing_support;

namespace {

using WipeFn = int(WIPE_CALL*)(int, char**);

class WipeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library.Load(Join(plat::ParentFolder(plat::ModulePath()), kWipeLibraryName)));
        wipe = reinterpret_cast<WipeFn>(library.Symbol(kWipeExportName));
        ASSERT_NE(wipe, nullptr);
    }

    int Call(std::vector<std::string> args) {
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(&a[0]);
        argv.push_back(nullptr);
        return wipe(static_cast<int>(args.size()), argv.data());
    }

    // The call the shred batch makes.
    int Shred(const std::wstring& path) {
        return Call({"dwipe-4.2.exe", "-7", "-f", "-n", "2", plat::WideToNarrow(path)});
    }

    plat::Library library;
    WipeFn wipe = nullptr;
    TempDir dir;
    link_support::LinkCleanup links;  // before dir goes
};

// Crude check that data looks random rather than a fill pattern: every byte
// value occurs, and no value takes more than a few percent.
bool LooksRandom(const Bytes& data) {
    if (data.size() < 4096) return false;
    size_t counts[256] = {};
    for (uint8_t b : data) ++counts[b];
    for (size_t c : counts)
        if (c == 0 || c > data.size() / 64) return false;
    return true;
}

}  // namespace

TEST_F(WipeTest, OverwritesTheWholeLengthAndKeepsIt) {
    // Sizes around the library's 48 KiB block and odd tails.
    for (size_t size : {size_t(1), size_t(15), size_t(49151), size_t(49152), size_t(49153), size_t(300007)}) {
        const std::wstring f = dir / (L"f" + std::to_wstring(size));
        const Bytes original(size, 0x5A);
        ASSERT_TRUE(WriteFileBytes(f, original));
        EXPECT_EQ(Shred(f), 0) << size;
        const Bytes after = ReadFileBytes(f);
        if (size >= 16) {
            EXPECT_TRUE(NoBlockSurvives(after, original)) << size;
        } else {
            EXPECT_EQ(after.size(), size);
        }
        if (size >= 49152) {
            EXPECT_TRUE(LooksRandom(after)) << size;
        }
    }
}

TEST_F(WipeTest, EveryPassSequenceEndsWithRandomData) {
    const Bytes original(65536, 0x00);
    for (const char* scheme : {"-1", "-3", "-7"}) {
        const std::wstring f = dir / plat::Utf8ToWide(std::string("scheme") + scheme);
        ASSERT_TRUE(WriteFileBytes(f, original));
        EXPECT_EQ(Call({"x", scheme, "-n", "1", plat::WideToNarrow(f)}), 0) << scheme;
        const Bytes after = ReadFileBytes(f);
        EXPECT_TRUE(LooksRandom(after)) << scheme;
        EXPECT_TRUE(NoBlockSurvives(after, original)) << scheme;
    }
    // Defaults: one random pass, one round.
    const std::wstring f = dir / L"default";
    ASSERT_TRUE(WriteFileBytes(f, original));
    EXPECT_EQ(Call({"x", plat::WideToNarrow(f)}), 0);
    EXPECT_TRUE(LooksRandom(ReadFileBytes(f)));
}

TEST_F(WipeTest, AnEmptyFileStaysEmpty) {
    ASSERT_TRUE(WriteFileBytes(dir / L"empty", Bytes()));
    EXPECT_EQ(Shred(dir / L"empty"), 0);
    int64_t size = -1;
    ASSERT_TRUE(plat::FileSize(dir / L"empty", &size));
    EXPECT_EQ(size, 0);
}

TEST_F(WipeTest, WipesEveryFileOfATreeAndDeletesNothing) {
    const std::wstring root = dir / L"tree";
    ASSERT_TRUE(MakeFolder(root));
    ASSERT_TRUE(MakeFolder(Join(root, L"a")));
    ASSERT_TRUE(MakeFolder(Join(Join(root, L"a"), L"b")));
    ASSERT_TRUE(MakeFolder(Join(root, L"empty")));
    const Bytes original(20000, 0xE7);
    const std::vector<std::wstring> files = {Join(root, L"top"), Join(Join(root, L"a"), L"mid"),
                                             Join(Join(Join(root, L"a"), L"b"), L"deep"),
                                             Join(Join(Join(root, L"a"), L"b"), L".hidden")};
    for (const auto& f : files) ASSERT_TRUE(WriteFileBytes(f, original));
    EXPECT_EQ(Shred(root), 0);
    for (const auto& f : files) EXPECT_TRUE(NoBlockSurvives(ReadFileBytes(f), original)) << plat::WideToUtf8(f);
    EXPECT_EQ(ListNames(root), (std::vector<std::wstring>{L"a", L"empty", L"top"}));
    EXPECT_EQ(ListNames(Join(Join(root, L"a"), L"b")), (std::vector<std::wstring>{L".hidden", L"deep"}));
}

TEST_F(WipeTest, NeverFollowsLinksOutOfTheTree) {
    const std::wstring root = dir / L"tree";
    const std::wstring outside = dir / L"outside";
    ASSERT_TRUE(MakeFolder(root));
    ASSERT_TRUE(MakeFolder(outside));
    const Bytes keep(30000, 0x42);
    ASSERT_TRUE(WriteFileBytes(Join(outside, L"keep"), keep));
    ASSERT_TRUE(WriteFileBytes(dir / L"lone", keep));
    ASSERT_TRUE(WriteFileBytes(Join(root, L"own"), keep));
    if (!link_support::MakeTestLink(outside, Join(root, L"dirlink"))) GTEST_SKIP() << "links cannot be made here";
    const bool fileLink = link_support::MakeTestLink(dir / L"lone", Join(root, L"filelink"));
    EXPECT_EQ(Shred(root), 0);
    EXPECT_TRUE(NoBlockSurvives(ReadFileBytes(Join(root, L"own")), keep));
    EXPECT_EQ(ReadFileBytes(Join(outside, L"keep")), keep);
    EXPECT_EQ(ReadFileBytes(dir / L"lone"), keep);
    EXPECT_TRUE(plat::IsLink(Join(root, L"dirlink")));
    if (fileLink) {
        EXPECT_TRUE(plat::IsLink(Join(root, L"filelink")));
    }

    // A link given as the path: nothing to wipe in it, its target untouched.
    if (fileLink) {
        EXPECT_EQ(Shred(Join(root, L"filelink")), 0);
    }
    EXPECT_EQ(Shred(Join(root, L"dirlink")), 0);
    EXPECT_EQ(ReadFileBytes(dir / L"lone"), keep);
    EXPECT_EQ(ReadFileBytes(Join(outside, L"keep")), keep);
}

TEST_F(WipeTest, ReadOnlyFilesNeedForce) {
    const Bytes original(8192, 0x33);
    const std::wstring f = dir / L"readonly";
    ASSERT_TRUE(WriteFileBytes(f, original));
    ASSERT_TRUE(plat::SetReadOnly(f, true));
    EXPECT_EQ(Call({"x", "-7", "-n", "1", plat::WideToNarrow(f)}), 3);
    EXPECT_TRUE(plat::IsReadOnly(f));
    EXPECT_EQ(ReadFileBytes(f), original);
    EXPECT_EQ(Call({"x", "-7", "-f", "-n", "1", plat::WideToNarrow(f)}), 0);
    EXPECT_FALSE(plat::IsReadOnly(f));
    EXPECT_TRUE(NoBlockSurvives(ReadFileBytes(f), original));
}

TEST_F(WipeTest, AFailingFileIsReportedButTheOthersAreStillWiped) {
    const std::wstring root = dir / L"tree";
    ASSERT_TRUE(MakeFolder(root));
    const Bytes original(4096, 0x77);
    ASSERT_TRUE(WriteFileBytes(Join(root, L"1"), original));
    ASSERT_TRUE(WriteFileBytes(Join(root, L"2"), original));
    ASSERT_TRUE(WriteFileBytes(Join(root, L"3"), original));
    ASSERT_TRUE(plat::SetReadOnly(Join(root, L"2"), true));
    EXPECT_EQ(Call({"x", "-3", plat::WideToNarrow(root)}), 3);  // no -f
    EXPECT_EQ(ReadFileBytes(Join(root, L"2")), original);
    EXPECT_TRUE(NoBlockSurvives(ReadFileBytes(Join(root, L"1")), original));
    EXPECT_TRUE(NoBlockSurvives(ReadFileBytes(Join(root, L"3")), original));
}

TEST_F(WipeTest, HardLinkedContentsAreWipedForEveryName) {
    const Bytes original(10000, 0x99);
    ASSERT_TRUE(WriteFileBytes(dir / L"name1", original));
    if (!MakeHardLink(dir / L"name1", dir / L"name2")) GTEST_SKIP() << "hard links cannot be made here";
    EXPECT_EQ(Shred(dir / L"name1"), 0);
    EXPECT_TRUE(NoBlockSurvives(ReadFileBytes(dir / L"name2"), original));
}

TEST_F(WipeTest, AnswersUsageErrorsAndMissingPaths) {
    ASSERT_TRUE(WriteFileText(dir / L"f", "unchanged"));
    const std::string f = plat::WideToNarrow(dir / L"f");
    EXPECT_EQ(Call({"x"}), 1);                        // no path
    EXPECT_EQ(Call({"x", "-7", "-f", "-n", "2"}), 1);  // no path
    EXPECT_EQ(Call({"x", "-n", f}), 1);               // the path is not a count
    EXPECT_EQ(Call({"x", f, "-n"}), 1);               // count missing
    EXPECT_EQ(Call({"x", "-n", "0", f}), 1);
    EXPECT_EQ(Call({"x", "-n", "101", f}), 1);
    EXPECT_EQ(Call({"x", "-n", "2x", f}), 1);
    EXPECT_EQ(Call({"x", "-q", f}), 1);
    EXPECT_EQ(Call({"x", "", f}), 1);
    EXPECT_EQ(wipe(0, nullptr), 1);
    EXPECT_EQ(ReadFileBytes(dir / L"f").size(), 9u);
    EXPECT_EQ(Call({"x", "-n", "1", plat::WideToNarrow(dir / L"missing")}), 2);
    // Several paths: all are wiped, the first problem is the answer.
    ASSERT_TRUE(WriteFileBytes(dir / L"g", Bytes(4096, 1)));
    EXPECT_EQ(Call({"x", plat::WideToNarrow(dir / L"missing"), plat::WideToNarrow(dir / L"g")}), 2);
    EXPECT_TRUE(NoBlockSurvives(ReadFileBytes(dir / L"g"), Bytes(4096, 1)));
}

#ifndef _WIN32
TEST_F(WipeTest, PipesInATreeAreLeftAlone) {
    const std::wstring root = dir / L"tree";
    ASSERT_TRUE(MakeFolder(root));
    ASSERT_EQ(::mkfifo(plat::WideToUtf8(Join(root, L"pipe")).c_str(), 0600), 0);
    ASSERT_TRUE(WriteFileBytes(Join(root, L"file"), Bytes(4096, 5)));
    EXPECT_EQ(Shred(root), 0);
    EXPECT_TRUE(NoBlockSurvives(ReadFileBytes(Join(root, L"file")), Bytes(4096, 5)));
}
#endif
