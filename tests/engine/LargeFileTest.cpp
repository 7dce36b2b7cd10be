// Files past 2 GiB (and so past any 32-bit offset) lock and unlock whole.
// The plain file is sparse, so the test costs time rather than disk space
// on the way in; the restored file is written out in full.
#include <gtest/gtest.h>

#include "engine/LockedFile.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

using namespace testing_support;

TEST(LargeFile, PastTwoGibibytesRoundTrips) {
    TempDir dir;
    const std::wstring plain = dir / L"large.img";
    const int64_t hole = (int64_t{1} << 31) + 4096;  // 2 GiB + 4 KiB
    const Bytes head = PseudoRandom(70000, 31), tail = PseudoRandom(50000, 32);
    {
        plat::File f;
        ASSERT_TRUE(f.Open(plain, plat::File::Mode::CreateAlways));
        ASSERT_TRUE(f.Write(head.data(), head.size()));
        ASSERT_TRUE(f.Seek(hole));
        ASSERT_TRUE(f.Write(tail.data(), tail.size()));
        ASSERT_TRUE(f.Close());
    }
    const int64_t size = hole + static_cast<int64_t>(tail.size());
    ASSERT_TRUE(LockOneFile(plain, "large", nullptr));
    ASSERT_FALSE(plat::PathExists(plain));
    ASSERT_TRUE(UnlockOneFile(plain + L".corvastine", "large", nullptr));

    int64_t restored = 0;
    ASSERT_TRUE(plat::FileSize(plain, &restored));
    EXPECT_EQ(restored, size);
    plat::File f;
    ASSERT_TRUE(f.Open(plain, plat::File::Mode::Read));
    Bytes got(head.size());
    size_t n = 0;
    ASSERT_TRUE(f.ReadFull(got.data(), got.size(), &n));
    EXPECT_EQ(got, head);
    ASSERT_TRUE(f.Seek(hole - 16));
    got.assign(16 + tail.size() + 1, 0xEE);
    ASSERT_TRUE(f.ReadFull(got.data(), got.size(), &n));
    ASSERT_EQ(n, 16 + tail.size());
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 16), Bytes(16, 0));
    EXPECT_EQ(Bytes(got.begin() + 16, got.begin() + static_cast<std::ptrdiff_t>(n)), tail);
}
