#include <gtest/gtest.h>

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
