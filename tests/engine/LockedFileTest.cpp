#include <gtest/gtest.h>

#include <cstring>

#include "engine/Crypto.h"
#include "engine/LockedFile.h"
#include "log/FileLog.h"
#include "platform/Platform.h"
#include "CryptoPaths.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

// Log lines without their "[tag][hh:mm:ss]" prefix times, for comparison.
std::vector<std::string> LogLines(const std::wstring& path) {
    Bytes raw = ReadFileBytes(path);
    std::string text(raw.begin(), raw.end());
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // "[warn][12:34:56]message" -> "[warn]message"
        if (line.size() > 16 && line[6] == '[' && line[15] == ']') line = line.substr(0, 6) + line.substr(16);
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

class LockedFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        logPath = dir / L"engine.log";
        log = std::make_unique<FileLog>(plat::WideToNarrow(logPath), L"");
    }
    std::vector<std::string> Lines() { return LogLines(logPath); }

    TempDir dir;
    std::wstring logPath;
    std::unique_ptr<FileLog> log;
};

Bytes MakeLockedBytes(uint16_t magic, uint16_t version, size_t length) {
    Bytes b(length, 0);
    if (length >= 4) {
        b[0] = static_cast<uint8_t>(magic);
        b[1] = static_cast<uint8_t>(magic >> 8);
        b[2] = static_cast<uint8_t>(version);
        b[3] = static_cast<uint8_t>(version >> 8);
    }
    return b;
}

}  // namespace

TEST(LockedFormat, HeaderFieldsSitAtTheirOffsetsLittleEndian) {
    corva::LockedFileHeader h{};
    h.magic = corva::kLockedMagic;
    h.version = 1;
    for (int i = 0; i < 32; ++i) {
        h.salt[i] = static_cast<uint8_t>(i);
        h.sealedToken[i] = static_cast<uint8_t>(0x40 + i);
        h.sealedDigest[i] = static_cast<uint8_t>(0x80 + i);
    }
    for (int i = 0; i < 64; ++i) h.iv[i] = static_cast<uint8_t>(0xC0 + i);
    h.payloadSize = 0x0102030405060708ull;
    uint8_t raw[corva::kHeaderSize];
    corva::SerializeHeader(h, raw);
    EXPECT_EQ(raw[0], 0x00);
    EXPECT_EQ(raw[1], 0xFF);
    EXPECT_EQ(raw[2], 0x01);
    EXPECT_EQ(raw[3], 0x00);
    EXPECT_EQ(raw[4], 0x00);
    EXPECT_EQ(raw[36], 0x40);
    EXPECT_EQ(raw[68], 0x80);
    EXPECT_EQ(raw[100], 0xC0);
    EXPECT_EQ(raw[163], 0xC0 + 63);
    EXPECT_EQ(ToHex(raw + 164, 8), "0807060504030201");
    corva::LockedFileHeader back{};
    corva::ParseHeader(raw, &back);
    EXPECT_EQ(back.payloadSize, h.payloadSize);
    EXPECT_EQ(0, std::memcmp(back.iv, h.iv, 64));
    EXPECT_EQ(back.magic, corva::kLockedMagic);
}

TEST(LockedFormat, LockedExtensionMustEndTheNameExactly) {
    EXPECT_TRUE(HasLockedExtension(L"a.txt.corvastine"));
    EXPECT_TRUE(HasLockedExtension(L"c.corvastine.corvastine"));
    EXPECT_TRUE(HasLockedExtension(L".corvastine"));
    EXPECT_FALSE(HasLockedExtension(L"b.corvastine.txt"));
    EXPECT_FALSE(HasLockedExtension(L"a.txt.CORVASTINE"));
    EXPECT_FALSE(HasLockedExtension(L"a.txt.Corvastine"));
    EXPECT_FALSE(HasLockedExtension(L"corvastine"));
    EXPECT_FALSE(HasLockedExtension(L""));
}

TEST(LockedFormat, IsLockedFileChecksMagicVersionAndLength) {
    TempDir dir;
    struct Case {
        uint16_t magic, version;
        size_t length;
        bool locked;
    } cases[] = {
        {0xFF00, 1, 172, true},  {0xFF00, 0, 188, true},   {0xFF00, 1, 171, false}, {0xFF00, 1, 173, false},
        {0xFF00, 1, 204, true},  {0xFF00, 1, 200, false},  {0xFF00, 2, 188, false}, {0x00FF, 1, 188, false},
        {0xFE00, 1, 188, false}, {0xFF00, 0xFFFF, 188, false},
    };
    for (const auto& c : cases) {
        std::wstring p = dir / L"x.corvastine";
        ASSERT_TRUE(WriteFileBytes(p, MakeLockedBytes(c.magic, c.version, c.length)));
        EXPECT_EQ(IsLockedFile(p), c.locked) << std::hex << c.magic << " v" << c.version << " len " << std::dec
                                             << c.length;
    }
    EXPECT_FALSE(IsLockedFile(dir / L"missing.corvastine"));
    EXPECT_FALSE(IsLockedFile(dir.Path()));
}

TEST_F(LockedFileTest, EncryptArgumentChecksLogAndReturnCodes) {
    std::wstring src = dir / L"p.bin", dst = dir / L"p.bin.corvastine";
    ASSERT_TRUE(WriteFileText(src, "payload"));
    EXPECT_EQ(encryptfile(nullptr, src.c_str(), dst.c_str(), false, log.get()), -1);
    EXPECT_EQ(encryptfile("", src.c_str(), dst.c_str(), false, log.get()), -1);
    EXPECT_EQ(encryptfile("pw", nullptr, dst.c_str(), false, log.get()), -2);
    EXPECT_EQ(encryptfile("pw", src.c_str(), nullptr, false, log.get()), -3);
    std::wstring missing = dir / L"missing.bin";
    EXPECT_EQ(encryptfile("pw", missing.c_str(), dst.c_str(), false, log.get()), -4);
    EXPECT_FALSE(plat::PathExists(dst));
    const std::string m = plat::WideToNarrow(missing);
    std::vector<std::string> expected = {
        "[warn][encryptfile] password is null.", "[warn][encryptfile] password is null.",
        "[warn][encryptfile] psrc is null.",     "[warn][encryptfile] pdst is null.",
        "[warn][encryptfile] open " + m + " failed.",
    };
    EXPECT_EQ(Lines(), expected);
}

TEST_F(LockedFileTest, EncryptRefusesAnExistingDestinationUnlessOverwriting) {
    std::wstring src = dir / L"p.bin", dst = dir / L"p.bin.corvastine";
    ASSERT_TRUE(WriteFileText(src, "payload"));
    ASSERT_TRUE(WriteFileText(dst, "keep me"));
    EXPECT_EQ(encryptfile("pw", src.c_str(), dst.c_str(), false, log.get()), -5);
    EXPECT_EQ(ReadFileBytes(dst), Bytes({'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
    EXPECT_EQ(Lines(), std::vector<std::string>{"[warn][encryptfile] " + plat::WideToNarrow(dst) + " already exist."});
    EXPECT_EQ(encryptfile("pw", src.c_str(), dst.c_str(), true, log.get()), 0);
    EXPECT_TRUE(IsLockedFile(dst));
    // Nothing but the source, the result and the log is left in the folder.
    EXPECT_EQ(ListNames(dir.Path()).size(), 3u);
}

TEST_F(LockedFileTest, BodyLengthFollowsPayloadLength) {
    for (size_t length : {0u, 1u, 15u, 16u, 17u, 31u, 32u, 100000u}) {
        std::wstring src = dir / L"p.bin", dst = dir / L"p.bin.corvastine", back = dir / L"back.bin";
        Bytes payload = PseudoRandom(length, static_cast<uint32_t>(length + 1));
        ASSERT_TRUE(WriteFileBytes(src, payload));
        ASSERT_EQ(encryptfile("pw", src.c_str(), dst.c_str(), false, nullptr), 0);
        int64_t size = 0;
        ASSERT_TRUE(plat::FileSize(dst, &size));
        EXPECT_EQ(size, static_cast<int64_t>(172 + 16 * (length / 16 + 1))) << length;
        corva::LockedFileHeader h{};
        ASSERT_TRUE(loadheader(dst.c_str(), &h, nullptr));
        EXPECT_EQ(h.payloadSize, length);
        ASSERT_EQ(decryptfile("pw", dst.c_str(), back.c_str(), false, nullptr), 0);
        EXPECT_EQ(ReadFileBytes(back), payload) << length;
        plat::RemoveFile(back);
        plat::RemoveFile(dst);
    }
}

TEST_F(LockedFileTest, TwoLocksOfOneFileDiffer) {
    std::wstring src = dir / L"p.bin", a = dir / L"a.corvastine", b = dir / L"b.corvastine";
    ASSERT_TRUE(WriteFileText(src, "same payload, same password"));
    ASSERT_EQ(encryptfile("pw", src.c_str(), a.c_str(), false, nullptr), 0);
    ASSERT_EQ(encryptfile("pw", src.c_str(), b.c_str(), false, nullptr), 0);
    Bytes x = ReadFileBytes(a), y = ReadFileBytes(b);
    ASSERT_EQ(x.size(), y.size());
    EXPECT_NE(Bytes(x.begin() + 4, x.begin() + 36), Bytes(y.begin() + 4, y.begin() + 36)) << "salt";
    EXPECT_NE(Bytes(x.begin() + 100, x.begin() + 164), Bytes(y.begin() + 100, y.begin() + 164)) << "iv";
    EXPECT_NE(Bytes(x.begin() + 172, x.end()), Bytes(y.begin() + 172, y.end())) << "body";
}

TEST_F(LockedFileTest, DecryptArgumentChecks) {
    std::wstring src = dir / L"p.bin", locked = dir / L"p.corvastine", out = dir / L"out.bin";
    ASSERT_TRUE(WriteFileText(src, "payload"));
    ASSERT_EQ(encryptfile("pw", src.c_str(), locked.c_str(), false, nullptr), 0);
    // Not a locked file: -7 without a log line; a missing source is the same.
    EXPECT_EQ(decryptfile("pw", src.c_str(), out.c_str(), false, log.get()), -7);
    std::wstring missing = dir / L"nothing.corvastine";
    EXPECT_EQ(decryptfile("pw", missing.c_str(), out.c_str(), false, log.get()), -7);
    EXPECT_EQ(decryptfile("pw", nullptr, out.c_str(), false, log.get()), -7);
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(decryptfile(nullptr, locked.c_str(), out.c_str(), false, log.get()), -1);
    EXPECT_EQ(decryptfile("", locked.c_str(), out.c_str(), false, log.get()), -1);
    EXPECT_EQ(decryptfile("pw", locked.c_str(), nullptr, false, log.get()), -3);
    ASSERT_TRUE(WriteFileText(out, "existing"));
    EXPECT_EQ(decryptfile("pw", locked.c_str(), out.c_str(), false, log.get()), -5);
    EXPECT_EQ(ReadFileBytes(out).size(), 8u);
    std::vector<std::string> expected = {
        "[warn][decryptfile] password is null.",
        "[warn][decryptfile] password is null.",
        "[warn][decryptfile] pdst is null.",
        "[warn][decryptfile] " + plat::WideToNarrow(out) + " already exist.",
    };
    EXPECT_EQ(Lines(), expected);
    EXPECT_EQ(decryptfile("pw", locked.c_str(), out.c_str(), true, log.get()), 0);
    EXPECT_EQ(ReadFileBytes(out).size(), 7u);
}

TEST_F(LockedFileTest, WrongPasswordIsDetectedBeforeAnythingIsWritten) {
    std::wstring src = dir / L"p.bin", locked = dir / L"p.corvastine", out = dir / L"out.bin";
    ASSERT_TRUE(WriteFileText(src, "payload"));
    ASSERT_EQ(encryptfile("right", src.c_str(), locked.c_str(), false, nullptr), 0);
    EXPECT_EQ(decryptfile("wrong", locked.c_str(), out.c_str(), false, log.get()), corva::kWrongPassword);
    EXPECT_FALSE(plat::PathExists(out));
    EXPECT_EQ(decryptfile("Right", locked.c_str(), out.c_str(), false, nullptr), corva::kWrongPassword);
    // With overwriting allowed an existing destination is not harmed either.
    ASSERT_TRUE(WriteFileText(out, "precious"));
    EXPECT_EQ(decryptfile("wrong", locked.c_str(), out.c_str(), true, nullptr), corva::kWrongPassword);
    EXPECT_EQ(ReadFileBytes(out).size(), 8u);
}

TEST_F(LockedFileTest, TruncatedBodyGivesSizeMismatchAndNoOutput) {
    std::wstring src = dir / L"p.bin", locked = dir / L"p.corvastine", out = dir / L"out.bin";
    ASSERT_TRUE(WriteFileBytes(src, PseudoRandom(1000, 5)));
    ASSERT_EQ(encryptfile("pw", src.c_str(), locked.c_str(), false, nullptr), 0);
    Bytes whole = ReadFileBytes(locked);
    // Cut whole blocks off the end: still shaped like a locked file.
    ASSERT_TRUE(WriteFileBytes(locked, Bytes(whole.begin(), whole.end() - 48)));
    ASSERT_TRUE(IsLockedFile(locked));
    EXPECT_EQ(decryptfile("pw", locked.c_str(), out.c_str(), false, nullptr), -6);
    EXPECT_FALSE(plat::PathExists(out));
    EXPECT_EQ(corva::VerifyLockedFile("pw", locked, nullptr), -6);
}

TEST_F(LockedFileTest, WriteFailuresGiveIoFailureAndLeaveNothingBehind) {
    std::wstring src = dir / L"p.bin", locked = dir / L"p.corvastine", out = dir / L"out.bin";
    ASSERT_TRUE(WriteFileBytes(src, PseudoRandom(300000, 9)));
    for (int64_t budget : {0, 100, 172, 5000, 200000}) {
        plat::SetWriteBudgetForTesting(budget);
        EXPECT_EQ(encryptfile("pw", src.c_str(), locked.c_str(), false, log.get()), -4) << budget;
        plat::SetWriteBudgetForTesting(-1);
        EXPECT_FALSE(plat::PathExists(locked)) << budget;
    }
    ASSERT_EQ(encryptfile("pw", src.c_str(), locked.c_str(), false, nullptr), 0);
    for (int64_t budget : {0, 4000, 150000}) {
        plat::SetWriteBudgetForTesting(budget);
        EXPECT_EQ(decryptfile("pw", locked.c_str(), out.c_str(), false, nullptr), -4) << budget;
        plat::SetWriteBudgetForTesting(-1);
        EXPECT_FALSE(plat::PathExists(out)) << budget;
    }
    // An existing destination survives a failed overwrite whole.
    ASSERT_TRUE(WriteFileText(out, "keep"));
    plat::SetWriteBudgetForTesting(1000);
    EXPECT_EQ(decryptfile("pw", locked.c_str(), out.c_str(), true, nullptr), -4);
    plat::SetWriteBudgetForTesting(-1);
    EXPECT_EQ(ReadFileBytes(out).size(), 4u);
    EXPECT_EQ(ListNames(dir.Path()).size(), 4u);  // source, locked, out, log
}

TEST_F(LockedFileTest, LoadHeaderLogsAsDocumented) {
    corva::LockedFileHeader h{};
    EXPECT_FALSE(loadheader(nullptr, &h, log.get()));
    std::wstring p = dir / L"none.corvastine";
    EXPECT_FALSE(loadheader(p.c_str(), nullptr, log.get()));
    EXPECT_FALSE(loadheader(p.c_str(), &h, log.get()));
    ASSERT_TRUE(WriteFileBytes(p, MakeLockedBytes(0xFF00, 1, 188)));
    EXPECT_TRUE(loadheader(p.c_str(), &h, log.get()));
    std::vector<std::string> expected = {
        "[warn][loadheader] filename or fileheader pointer is null.",
        "[warn][loadheader] filename or fileheader pointer is null.",
        "[warn][loadheader] open file failed.",
        "[info][loadheader] open file " + plat::WideToNarrow(p) + " success.",
    };
    EXPECT_EQ(Lines(), expected);
}

TEST_F(LockedFileTest, VerifyTellsWrongPasswordFromDamage) {
    std::wstring plain = dir / L"doc.txt";
    ASSERT_TRUE(WriteFileBytes(plain, PseudoRandom(50000, 21)));
    ASSERT_TRUE(LockOneFile(plain, "pw", nullptr));
    std::wstring locked = plain + L".corvastine";
    EXPECT_EQ(corva::VerifyLockedFile("pw", locked, nullptr), 0);
    EXPECT_EQ(corva::VerifyLockedFile("px", locked, nullptr), corva::kWrongPassword);
    Bytes b = ReadFileBytes(locked);
    b[172 + 16 * 20] ^= 0x01;
    ASSERT_TRUE(WriteFileBytes(locked, b));
    EXPECT_EQ(corva::VerifyLockedFile("pw", locked, nullptr), corva::kDamagedPayload);
    EXPECT_EQ(corva::VerifyLockedFile("pw", plain, nullptr), corva::kNotLockedFile);
}

// The payload size is a 64-bit field: a header that claims 4 GiB + 5 bytes
// over a short body must not be read as 5 bytes.
TEST_F(LockedFileTest, PayloadSizeIsReadAsSixtyFourBits) {
    std::wstring src = dir / L"p.bin", locked = dir / L"p.corvastine", out = dir / L"out.bin";
    ASSERT_TRUE(WriteFileText(src, "12345"));
    ASSERT_EQ(encryptfile("pw", src.c_str(), locked.c_str(), false, nullptr), 0);
    Bytes b = ReadFileBytes(locked);
    b[164 + 4] = 0x01;  // payload size 0x1_0000_0005
    ASSERT_TRUE(WriteFileBytes(locked, b));
    corva::LockedFileHeader h{};
    ASSERT_TRUE(loadheader(locked.c_str(), &h, nullptr));
    EXPECT_EQ(h.payloadSize, 0x100000005ull);
    EXPECT_EQ(decryptfile("pw", locked.c_str(), out.c_str(), false, nullptr), -6);
    EXPECT_FALSE(plat::PathExists(out));
}

// (A source this long is enciphered in groups of blocks, staged over two
// threads or on one: each form's file must decipher on one thread.)
TEST_F(LockedFileTest, EncryptRefusesASourceWhoseLengthChangesWhileItIsRead) {
    std::wstring src = dir / L"p.bin", dst = dir / L"p.bin.corvastine";
    const Bytes content = PseudoRandom(4500000, 4);
    ASSERT_TRUE(WriteFileBytes(src, content));
    // The first read sees the end of the file: the source reads shorter
    // than the length the header was built for.
    plat::SetReadFaultForTesting(1, plat::ReadFault::EndOfFile);
    EXPECT_EQ(encryptfile("pw", src.c_str(), dst.c_str(), false, nullptr), corva::kIoFailure);
    EXPECT_FALSE(plat::ReadFaultPendingForTesting());
    plat::SetReadFaultForTesting(2, plat::ReadFault::EndOfFile);
    EXPECT_EQ(encryptfile("pw", src.c_str(), dst.c_str(), false, nullptr), corva::kIoFailure);
    plat::SetReadFaultForTesting(0, plat::ReadFault::EndOfFile);
    EXPECT_FALSE(plat::PathExists(dst));
    EXPECT_EQ(ListNames(dir.Path()), std::vector<std::wstring>{L"p.bin"});
    const std::wstring out = dir / L"out.bin";
    for (corva::SplitRuns form : {corva::SplitRuns::Measured, corva::SplitRuns::Alternate, corva::SplitRuns::Always}) {
        SCOPED_TRACE(static_cast<int>(form));
        {
            CipherForm set(form);
            ASSERT_EQ(encryptfile("pw", src.c_str(), dst.c_str(), true, nullptr), corva::kOk);
        }
        CipherForm oneThread(corva::SplitRuns::Never);
        ASSERT_EQ(decryptfile("pw", dst.c_str(), out.c_str(), true, nullptr), corva::kOk);
        EXPECT_EQ(ReadFileBytes(out), content);
    }
}
