// The lock pipeline's fast paths: a file of several compression parts, the
// read-back after locking with the keys already derived (and beside the
// writing, for a large file), locked files read on every instruction-set
// path whichever path wrote them, and headers and keys made two at a time
// for many files.
#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/Crypto.h"
#include "engine/LockedFile.h"
#include "engine/ParallelGzip.h"
#include "engine/ReadBack.h"
#include "platform/Platform.h"
#include "CryptoPaths.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

const char kPassword[] = "parts and paths";

Bytes TextPayload(size_t size) {
    Bytes b;
    b.reserve(size);
    const char* words[] = {"alpha ", "beta ", "gamma ", "delta ", "epsilon ", "\n"};
    uint32_t x = 777;
    while (b.size() < size) {
        x = x * 1103515245u + 12345u;
        const char* w = words[(x >> 16) % 6];
        while (*w && b.size() < size) b.push_back(static_cast<uint8_t>(*w++));
    }
    return b;
}

Bytes Gunzip(const std::wstring& path, bool* ok) {
    Bytes out;
    gzFile f = gzopen(plat::WideToNarrow(path).c_str(), "rb");
    *ok = f != nullptr;
    if (!f) return out;
    uint8_t buf[65536];
    int n;
    while ((n = gzread(f, buf, sizeof buf)) > 0) out.insert(out.end(), buf, buf + n);
    int err = 0;
    gzerror(f, &err);
    *ok = n == 0 && err == Z_OK && gzclose(f) == Z_OK;
    return out;
}

// Damage done to the locked copy between its flush and its read-back.
int g_damageOffset = -1;
void DamageAt(plat::File& locked) {
    uint8_t b = 0;
    size_t got = 0;
    if (!locked.Seek(g_damageOffset) || !locked.ReadFull(&b, 1, &got) || got != 1) return;
    b ^= 0x01;
    locked.Seek(g_damageOffset);
    locked.Write(&b, 1);
}

}  // namespace

TEST(LockSpeedPaths, AFileOfManyPartsLocksIntoOneGzipStreamAndBack) {
    TempDir dir;
    const Bytes content = TextPayload(3 * corva::ParallelGzipWriter::kDefaultPartSize + 4321);
    const std::wstring plain = dir / L"big.txt", locked = plain + L".corvastine";
    ASSERT_TRUE(WriteFileBytes(plain, content));
    ASSERT_EQ(corva::LockFile(plain, kPassword, nullptr), corva::kOk);
    EXPECT_FALSE(plat::PathExists(plain));
    // The payload, deciphered alone, is one stream for zlib's gzip reader.
    const std::wstring payload = dir / L"payload.gz";
    ASSERT_EQ(decryptfile(kPassword, locked.c_str(), payload.c_str(), false, nullptr), corva::kOk);
    bool ok = false;
    EXPECT_EQ(Gunzip(payload, &ok), content);
    EXPECT_TRUE(ok) << "gzread reported an error";
    plat::RemoveFile(payload);
    ASSERT_EQ(corva::UnlockFile(locked, kPassword, false, nullptr), corva::kOk);
    EXPECT_EQ(ReadFileBytes(plain), content);
}

// The read-back reuses the keys of locking, so it must still notice any
// change on disk: to the header's salt, its sealed digest, its IV, the
// payload size or the body. The plain file stays; no locked file remains.
TEST(LockSpeedPaths, ReadBackWithKnownKeysStillCatchesEveryDamage) {
    TempDir dir;
    const Bytes content = TextPayload(50000);
    for (int offset : {4, 35, 36, 68, 99, 100, 164, 172, 400}) {
        const std::wstring plain = dir / L"doc.txt";
        ASSERT_TRUE(WriteFileBytes(plain, content));
        g_damageOffset = offset;
        corva::SetBeforeVerifyHookForTesting(&DamageAt);
        const int rc = corva::LockFile(plain, kPassword, nullptr);
        corva::SetBeforeVerifyHookForTesting(nullptr);
        EXPECT_NE(rc, corva::kOk) << "damage at " << offset;
        EXPECT_EQ(ReadFileBytes(plain), content) << offset;
        EXPECT_FALSE(plat::PathExists(plain + L".corvastine")) << offset;
    }
}

TEST(LockSpeedPaths, LockedFilesOpenOnEveryPathWhicheverPathWroteThem) {
    TempDir dir;
    const Bytes content = TextPayload(40000);
    const int best = static_cast<int>(corva::BestCryptoPath());
    for (int writer = 0; writer <= best; ++writer) {
        for (int reader = 0; reader <= best; ++reader) {
            const std::wstring plain = dir / L"x.txt", locked = plain + L".corvastine";
            ASSERT_TRUE(WriteFileBytes(plain, content));
            {
                PathLimit limit(static_cast<corva::CryptoPath>(writer));
                ASSERT_EQ(corva::LockFile(plain, kPassword, nullptr), corva::kOk);
            }
            PathLimit limit(static_cast<corva::CryptoPath>(reader));
            EXPECT_EQ(corva::VerifyLockedFile(kPassword, locked, nullptr), corva::kOk);
            EXPECT_EQ(corva::VerifyLockedFile("not it", locked, nullptr), corva::kWrongPassword);
            ASSERT_EQ(corva::UnlockFile(locked, kPassword, false, nullptr), corva::kOk)
                << "written on " << writer << ", read on " << reader;
            EXPECT_EQ(ReadFileBytes(plain), content);
            plat::RemoveFile(plain);
        }
    }
}

// A body this long is deciphered in groups of blocks, each staged
// over two threads or done on one: as measured, alternating (both changes
// of form), or all in one form. The result and the handling of damage must
// be those of one thread in every case.
TEST(LockSpeedPaths, ABigBodyUnlocksAndItsDamageIsCaught) {
    TempDir dir;
    const Bytes content = PseudoRandom(6u << 20, 8);  // incompressible: a 6 MiB body
    const std::wstring plain = dir / L"big.bin", locked = plain + L".corvastine";
    ASSERT_TRUE(WriteFileBytes(plain, content));
    ASSERT_EQ(corva::LockFile(plain, kPassword, nullptr), corva::kOk);
    const Bytes good = ReadFileBytes(locked);
    for (corva::SplitRuns form : {corva::SplitRuns::Measured, corva::SplitRuns::Alternate, corva::SplitRuns::Never,
                                     corva::SplitRuns::Always}) {
        SCOPED_TRACE(static_cast<int>(form));
        CipherForm set(form);
        ASSERT_TRUE(WriteFileBytes(locked, good));
        EXPECT_EQ(corva::VerifyLockedFile(kPassword, locked, nullptr), corva::kOk);
        EXPECT_EQ(corva::UnlockFile(locked, kPassword, false, nullptr), corva::kOk);
        EXPECT_EQ(ReadFileBytes(plain), content);
        plat::RemoveFile(plain);
        // One flipped bit in the first, second or last group: the gzip
        // check fails, nothing is restored.
        for (size_t offset : {size_t(100000), size_t(3u << 20), good.size() - 100}) {
            Bytes bad = good;
            bad[offset] ^= 0x10;
            ASSERT_TRUE(WriteFileBytes(locked, bad));
            EXPECT_EQ(corva::VerifyLockedFile(kPassword, locked, nullptr), corva::kDamagedPayload) << offset;
            EXPECT_EQ(corva::UnlockFile(locked, kPassword, false, nullptr), corva::kDamagedPayload) << offset;
            EXPECT_FALSE(plat::PathExists(plain));
            EXPECT_TRUE(plat::PathExists(locked));
        }
    }
}

// The read-back that follows the writing of a large locked file, on a
// locked file as the writer would leave it: it passes the file as written,
// and finds a flipped bit early or late in the body, in the last block, in
// the header, or a block too many, wherever the writer had got to when it
// was told of the bytes.
TEST(LockSpeedPaths, TheReadBackBesideTheWritingCatchesEveryDamage) {
    TempDir dir;
    const Bytes content = PseudoRandom(5u << 20, 9);
    const std::wstring plain = dir / L"big.bin", locked = plain + L".corvastine";
    ASSERT_TRUE(WriteFileBytes(plain, content));
    ASSERT_EQ(corva::LockFile(plain, kPassword, nullptr), corva::kOk);
    const Bytes good = ReadFileBytes(locked);
    corva::LockedFileHeader h;
    corva::ParseHeader(good.data(), &h);
    corva::FileKeys keys;
    corva::DeriveFileKeys(kPassword, h, &keys);
    corva::WrittenKeys written{&keys, {}};
    std::copy(good.begin(), good.begin() + corva::kHeaderSize, written.header);
    const size_t body = good.size() - corva::kHeaderSize;
    struct Case {
        const char* what;
        size_t offset;  // of the flipped byte; the size for "a block too many"
    };
    const Case cases[] = {{"as written", 0},
                          {"early in the body", corva::kHeaderSize + 4096},
                          {"late in the body", good.size() / 2 + 12345},
                          {"in the last block", good.size() - 3},
                          {"in the header", 50},
                          {"a block too many", good.size()}};
    for (const Case& c : cases) {
        Bytes bad = good;
        if (c.offset == good.size())
            bad.insert(bad.end(), 16, 0);
        else if (c.offset != 0)
            bad[c.offset] ^= 0x01;
        ASSERT_TRUE(WriteFileBytes(locked, bad));
        plat::File file;
        ASSERT_TRUE(file.Open(locked, plat::File::Mode::Read));
        corva::ConcurrentReadBack readBack(file, keys, h.iv, nullptr);
        ASSERT_TRUE(readBack.Start());
        // As the writer reports: a megabyte at a time, then the rest.
        for (size_t at = corva::kChunk; at < body; at += corva::kChunk) readBack.BodyWritten(at);
        readBack.BodyWritten(bad.size() - corva::kHeaderSize);
        plat::IoError error = plat::IoError::Io;
        EXPECT_EQ(readBack.Finish(written, h.payloadSize, &error), c.offset == 0 ? corva::kOk : corva::kDamagedPayload)
            << c.what;
        EXPECT_EQ(error, plat::IoError::None) << c.what;
    }
}

// Headers made two at a time for many files: each is a header of its own
// (fresh salt, token and IV), sealed under the password, with the keys one
// stretch at a time would give, on every instruction-set path; the one
// kept for the next file is handed out next, then a new pair is made.
TEST(LockSpeedPaths, HeadersMadeInPairsCarryTheKeysOfTheirOwnSaltAndDigest) {
    const int best = static_cast<int>(corva::BestCryptoPath());
    for (int path = 0; path <= best; ++path) {
        PathLimit limit(static_cast<corva::CryptoPath>(path));
        corva::LockKeySource source(kPassword);
        std::vector<std::string> seen;
        for (int i = 0; i < 5; ++i) {
            corva::LockedFileHeader h;
            uint8_t kh[32], k0[32], stretched[32], expected[32];
            ASSERT_TRUE(source.Take(&h, kh, k0));
            EXPECT_EQ(h.magic, corva::kLockedMagic);
            EXPECT_EQ(h.version, corva::kLockedVersion);
            EXPECT_EQ(h.payloadSize, 0u);
            EXPECT_TRUE(corva::HeaderMatchesPassword(kPassword, h)) << "path " << path << ", header " << i;
            EXPECT_FALSE(corva::HeaderMatchesPassword("parts and path", h));
            StretchSecret(kPassword, h.salt, stretched);
            PadDigest(stretched, expected);
            EXPECT_EQ(ToHex(kh, 32), ToHex(expected, 32)) << "path " << path << ", header " << i;
            StretchSecret(kPassword, h.sealedDigest, expected);
            EXPECT_EQ(ToHex(k0, 32), ToHex(expected, 32)) << "path " << path << ", header " << i;
            seen.push_back(ToHex(h.salt, 32));
            seen.push_back(ToHex(h.sealedToken, 32));
            seen.push_back(ToHex(h.iv, 64));
        }
        std::sort(seen.begin(), seen.end());
        EXPECT_EQ(std::unique(seen.begin(), seen.end()), seen.end()) << "a salt, token or IV came twice";
    }
}

// Files locked one after another with headers made in pairs open, verify
// and unlock like any other, and differ from one another.
TEST(LockSpeedPaths, FilesLockedWithHeadersMadeInPairsUnlock) {
    TempDir dir;
    corva::LockKeySource source(kPassword);
    std::vector<Bytes> lockedBytes;
    for (int i = 0; i < 3; ++i) {
        const std::wstring plain = dir / (L"p" + std::to_wstring(i) + L".txt"), locked = plain + L".corvastine";
        const Bytes content = TextPayload(5000);  // the same content each time
        ASSERT_TRUE(WriteFileBytes(plain, content));
        ASSERT_EQ(corva::LockFile(plain, kPassword, nullptr, &source), corva::kOk) << i;
        EXPECT_FALSE(plat::PathExists(plain));
        EXPECT_EQ(corva::VerifyLockedFile(kPassword, locked, nullptr), corva::kOk) << i;
        lockedBytes.push_back(ReadFileBytes(locked));
        ASSERT_EQ(corva::UnlockFile(locked, kPassword, false, nullptr), corva::kOk) << i;
        EXPECT_EQ(ReadFileBytes(plain), content) << i;
    }
    EXPECT_NE(lockedBytes[0], lockedBytes[1]);
    EXPECT_NE(lockedBytes[1], lockedBytes[2]);
}
