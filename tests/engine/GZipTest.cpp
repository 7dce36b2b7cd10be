#include <gtest/gtest.h>

#include <zlib.h>

#include <memory>

#include "engine/GZip.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

Bytes TextPayload(size_t size) {
    Bytes b;
    const char* words[] = {"lock ", "unlock ", "shred ", "folder ", "password ", "\n"};
    uint32_t x = 12345;
    while (b.size() < size) {
        x = x * 1103515245u + 12345u;
        const char* w = words[(x >> 16) % 6];
        while (*w && b.size() < size) b.push_back(static_cast<uint8_t>(*w++));
    }
    return b;
}

// What zlib's own gzip file writer makes of the same bytes.
Bytes ZlibGzipWriter(const std::wstring& path, const Bytes& data) {
    std::string narrow = plat::WideToNarrow(path);
    gzFile f = gzopen(narrow.c_str(), "wb");
    if (!f) return {};
    if (!data.empty()) gzwrite(f, data.data(), static_cast<unsigned>(data.size()));
    gzclose(f);
    return ReadFileBytes(path);
}

}  // namespace

TEST(GZip, EmptyFileGivesTheTwentyByteStream) {
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir / L"empty", {}));
    ASSERT_TRUE(CompressFile(dir / L"empty", dir / L"empty.gz"));
    Bytes gz = ReadFileBytes(dir / L"empty.gz");
    // Header, the empty final deflate block, CRC-32 0 and length 0.
    EXPECT_EQ(ToHex(gz), "1f8b080000000000000b03000000000000000000");
}

// Same deflate stream as zlib's gzip writer; only the operating-system byte
// is fixed to 0x0B so that every platform writes identical payloads.
TEST(GZip, StreamMatchesZlibsGzipWriterButForTheSystemByte) {
    TempDir dir;
    for (size_t size : {0u, 1u, 1023u, 1024u, 70000u, 300000u}) {
        Bytes data = size % 2 ? PseudoRandom(size, 77) : TextPayload(size);
        ASSERT_TRUE(WriteFileBytes(dir / L"in", data));
        ASSERT_TRUE(CompressFile(dir / L"in", dir / L"ours.gz"));
        Bytes ours = ReadFileBytes(dir / L"ours.gz");
        Bytes theirs = ZlibGzipWriter(dir / L"theirs.gz", data);
        ASSERT_EQ(ours.size(), theirs.size()) << size;
        ASSERT_GE(ours.size(), 18u);
        EXPECT_EQ(ours[9], 0x0B);
        theirs[9] = 0x0B;
        EXPECT_EQ(ours, theirs) << size;
    }
}

TEST(GZip, RoundTripsAndReplacesTheDestinationOnlyWhenComplete) {
    TempDir dir;
    Bytes data = TextPayload(200000);
    ASSERT_TRUE(WriteFileBytes(dir / L"in", data));
    ASSERT_TRUE(CompressFile(dir / L"in", dir / L"in.gz"));
    ASSERT_TRUE(WriteFileText(dir / L"out", "old content"));
    ASSERT_TRUE(DecompressFile(dir / L"in.gz", dir / L"out"));
    EXPECT_EQ(ReadFileBytes(dir / L"out"), data);
    EXPECT_EQ(ListNames(dir.Path()).size(), 3u);
}

TEST(GZip, RejectsWhatIsNotACompleteValidStream) {
    TempDir dir;
    Bytes data = TextPayload(100000);
    ASSERT_TRUE(WriteFileBytes(dir / L"in", data));
    ASSERT_TRUE(CompressFile(dir / L"in", dir / L"good.gz"));
    const Bytes good = ReadFileBytes(dir / L"good.gz");
    ASSERT_GT(good.size(), 100u);
    const size_t n = good.size();

    struct Case {
        const char* what;
        Bytes bytes;
    };
    Bytes badCrc = good;
    badCrc.at(n - 6) ^= 0xFF;  // inside the CRC-32
    Bytes badLength = good;
    badLength.at(n - 1) ^= 0x01;  // inside the length
    Bytes badBody = good;
    badBody.at(n / 2) ^= 0x10;
    Case cases[] = {
        {"plain text", TextPayload(5000)},
        {"empty file", {}},
        {"header only", Bytes(good.begin(), good.begin() + 10)},
        {"truncated", Bytes(good.begin(), good.end() - 100)},
        {"trailer cut", Bytes(good.begin(), good.end() - 4)},
        {"crc", badCrc},
        {"length", badLength},
        {"body", badBody},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteFileBytes(dir / L"bad.gz", c.bytes));
        ASSERT_TRUE(WriteFileText(dir / L"out", "keep"));
        EXPECT_FALSE(DecompressFile(dir / L"bad.gz", dir / L"out")) << c.what;
        EXPECT_EQ(ReadFileBytes(dir / L"out"), Bytes({'k', 'e', 'e', 'p'})) << c.what;
        EXPECT_EQ(ListNames(dir.Path()).size(), 4u) << c.what << ": no temporary left";
    }
}

TEST(GZip, AcceptsConcatenatedMembersAndIgnoresTrailingGarbage) {
    TempDir dir;
    Bytes a = TextPayload(3000), b = PseudoRandom(2000, 4);
    ASSERT_TRUE(WriteFileBytes(dir / L"a", a));
    ASSERT_TRUE(WriteFileBytes(dir / L"b", b));
    ASSERT_TRUE(CompressFile(dir / L"a", dir / L"a.gz"));
    ASSERT_TRUE(CompressFile(dir / L"b", dir / L"b.gz"));
    Bytes both = ReadFileBytes(dir / L"a.gz"), second = ReadFileBytes(dir / L"b.gz");
    both.insert(both.end(), second.begin(), second.end());
    ASSERT_TRUE(WriteFileBytes(dir / L"ab.gz", both));
    ASSERT_TRUE(DecompressFile(dir / L"ab.gz", dir / L"ab"));
    Bytes expected = a;
    expected.insert(expected.end(), b.begin(), b.end());
    EXPECT_EQ(ReadFileBytes(dir / L"ab"), expected);

    Bytes garbage = ReadFileBytes(dir / L"a.gz");
    garbage.push_back(0);
    garbage.push_back(0x42);
    ASSERT_TRUE(WriteFileBytes(dir / L"g.gz", garbage));
    ASSERT_TRUE(DecompressFile(dir / L"g.gz", dir / L"g"));
    EXPECT_EQ(ReadFileBytes(dir / L"g"), a);

    // A first byte of the gzip magic alone does not start a member.
    Bytes halfMagic = ReadFileBytes(dir / L"a.gz");
    halfMagic.push_back(0x1F);
    halfMagic.push_back(0x00);
    ASSERT_TRUE(WriteFileBytes(dir / L"h.gz", halfMagic));
    ASSERT_TRUE(DecompressFile(dir / L"h.gz", dir / L"h"));
    EXPECT_EQ(ReadFileBytes(dir / L"h"), a);
}

TEST(GZip, WrapperModes) {
    TempDir dir;
    zlib::CGZip gz;
    EXPECT_FALSE(gz.IsOpen());
    EXPECT_FALSE(gz.Write("x", 1));
    char buf[8];
    EXPECT_EQ(gz.Read(buf, sizeof buf), 0u);
    ASSERT_TRUE(gz.Open(dir / L"w.gz", zlib::CGZip::kWrite));
    EXPECT_TRUE(gz.IsOpen());
    EXPECT_FALSE(gz.Open(dir / L"w.gz", zlib::CGZip::kWrite)) << "already open";
    EXPECT_EQ(gz.Read(buf, sizeof buf), 0u) << "no reading in write mode";
    EXPECT_TRUE(gz.WriteString("hello, "));
    EXPECT_TRUE(gz.Write("world", 5));
    EXPECT_TRUE(gz.Close());
    EXPECT_FALSE(gz.IsOpen());

    EXPECT_FALSE(gz.Open(dir / L"missing.gz", zlib::CGZip::kRead));
    ASSERT_TRUE(gz.Open(dir / L"w.gz", zlib::CGZip::kRead));
    EXPECT_EQ(gz.CompressedLength(), static_cast<int64_t>(ReadFileBytes(dir / L"w.gz").size()));
    EXPECT_FALSE(gz.Write("x", 1)) << "no writing in read mode";
    unsigned char* all = nullptr;
    size_t length = 0;
    ASSERT_TRUE(gz.ReadAll(&all, &length));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(all), length), "hello, world");
    delete[] all;
    gz.Close();

    // A read-only gzip file is refused for reading, as the wrapper requires
    // a file the caller may write.
    ASSERT_TRUE(plat::SetReadOnly(dir / L"w.gz", true));
    EXPECT_FALSE(gz.Open(dir / L"w.gz", zlib::CGZip::kRead));
    plat::SetReadOnly(dir / L"w.gz", false);
}

TEST(GZip, CompressFailsCleanlyOnAFullDisk) {
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir / L"in", PseudoRandom(200000, 8)));
    plat::SetWriteBudgetForTesting(50000);
    EXPECT_FALSE(CompressFile(dir / L"in", dir / L"in.gz"));
    plat::SetWriteBudgetForTesting(-1);
    ASSERT_TRUE(CompressFile(dir / L"in", dir / L"in.gz"));
    plat::SetWriteBudgetForTesting(100000);
    EXPECT_FALSE(DecompressFile(dir / L"in.gz", dir / L"out"));
    plat::SetWriteBudgetForTesting(-1);
    EXPECT_FALSE(plat::PathExists(dir / L"out"));
}

// A read error of the source, or an end of the file reported where data
// remains, at the first, a middle or the last (partial) read: compression
// fails and no gzip file is left, since a shorter stream would pass every
// check. An end reported where the file ends anyway changes nothing.
TEST(GZip, AReadFaultFailsCompressionAndLeavesNoStream) {
    TempDir dir;
    const Bytes data = TextPayload(200000);  // three whole 64 KiB reads, a partial one, the end
    ASSERT_TRUE(WriteFileBytes(dir / L"in", data));
    for (plat::ReadFault kind : {plat::ReadFault::Error, plat::ReadFault::EndOfFile}) {
        int faults = 0;
        for (int nth = 1;; ++nth) {
            SCOPED_TRACE(testing::Message() << (kind == plat::ReadFault::Error ? "error" : "end") << " at read "
                                            << nth);
            plat::SetReadFaultForTesting(nth, kind);
            const bool ok = CompressFile(dir / L"in", dir / L"in.gz");
            const bool hit = !plat::ReadFaultPendingForTesting();
            plat::SetReadFaultForTesting(0, kind);
            if (!hit) {
                ASSERT_TRUE(ok);
                break;
            }
            ++faults;
            if (ok) {
                EXPECT_EQ(kind, plat::ReadFault::EndOfFile);
                ASSERT_TRUE(DecompressFile(dir / L"in.gz", dir / L"out"));
                EXPECT_EQ(ReadFileBytes(dir / L"out"), data);
                plat::RemoveFile(dir / L"out");
                plat::RemoveFile(dir / L"in.gz");
            }
            EXPECT_EQ(ListNames(dir.Path()), std::vector<std::wstring>{L"in"});
            EXPECT_EQ(ReadFileBytes(dir / L"in"), data);
        }
        EXPECT_GE(faults, 4) << "the first, a middle, the last partial read and the end";
    }
}

namespace {

// Collects what a stage passes on.
class Collect final : public corva::ByteSink {
public:
    bool Write(const uint8_t* data, size_t size) override {
        bytes.insert(bytes.end(), data, data + size);
        return true;
    }
    bool Finish() override { return finished = true; }
    Bytes bytes;
    bool finished = false;
};

Bytes Compress(const Bytes& data) {
    Collect out;
    std::unique_ptr<corva::ByteSink> c = corva::MakeCompressor(&out);
    EXPECT_TRUE(c->Write(data.data(), data.size()));
    EXPECT_TRUE(c->Finish());
    EXPECT_TRUE(out.finished);
    return out.bytes;
}

// Feeds the stream to a decompressor in two writes split at cut.
bool Inflate(const Bytes& stream, size_t cut, Bytes* plain, bool* damaged) {
    Collect out;
    corva::Decompressor d(&out);
    bool ok = d.Write(stream.data(), cut) && d.Write(stream.data() + cut, stream.size() - cut) && d.Finish();
    *plain = out.bytes;
    *damaged = d.Damaged();
    return ok && out.finished;
}

}  // namespace

TEST(GZipStages, CompressorWritesTheSameStreamAsTheFileStage) {
    TempDir dir;
    const Bytes data = TextPayload(200000);
    ASSERT_TRUE(WriteFileBytes(dir / L"in", data));
    ASSERT_TRUE(CompressFile(dir / L"in", dir / L"in.gz"));
    EXPECT_EQ(Compress(data), ReadFileBytes(dir / L"in.gz"));
    EXPECT_EQ(Compress({}).size(), 20u);
}

TEST(GZipStages, AFollowingMemberIsReadWhereverItBegins) {
    const Bytes a = TextPayload(700), b = PseudoRandom(300, 8), c = TextPayload(50);
    Bytes stream = Compress(a);
    const size_t first = stream.size();
    const Bytes mb = Compress(b), mc = Compress(c);
    stream.insert(stream.end(), mb.begin(), mb.end());
    const size_t second = stream.size();
    stream.insert(stream.end(), mc.begin(), mc.end());
    Bytes expected = a;
    expected.insert(expected.end(), b.begin(), b.end());
    expected.insert(expected.end(), c.begin(), c.end());
    // Every split of the input, the member boundaries included.
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        Bytes plain;
        bool damaged = true;
        ASSERT_TRUE(Inflate(stream, cut, &plain, &damaged)) << "cut at " << cut << " (members at " << first << ", "
                                                             << second << ")";
        ASSERT_EQ(plain, expected) << cut;
    }
    // And one byte at a time.
    Collect out;
    corva::Decompressor d(&out);
    for (uint8_t byte : stream) ASSERT_TRUE(d.Write(&byte, 1));
    ASSERT_TRUE(d.Finish());
    EXPECT_EQ(out.bytes, expected);
    EXPECT_EQ(d.Members(), 3u);
}

TEST(GZipStages, AnythingButWholeMembersFailsAsDamage) {
    const Bytes member = Compress(TextPayload(1000));
    struct Case {
        const char* what;
        Bytes stream;
    };
    Bytes magic = member, zero = member, half = member, cut = member, flipped = member;
    magic.insert(magic.end(), {0x1F, 0x8B});
    zero.push_back(0);
    const Bytes second = Compress(TextPayload(10));
    half.insert(half.end(), second.begin(), second.begin() + 12);
    cut.resize(cut.size() - 4);
    flipped[flipped.size() - 6] ^= 1;  // the CRC-32
    const Case cases[] = {{"empty", {}},          {"magic after the member", magic},
                          {"zero after the member", zero}, {"half a second member", half},
                          {"trailer cut", cut},   {"CRC wrong", flipped},
                          {"not gzip", Bytes(100, 'x')}};
    for (const Case& c : cases) {
        for (size_t at : {size_t(0), c.stream.size() / 2, c.stream.size()}) {
            Bytes plain;
            bool damaged = false;
            EXPECT_FALSE(Inflate(c.stream, at, &plain, &damaged)) << c.what << " split at " << at;
            EXPECT_TRUE(damaged) << c.what;
        }
    }
}

TEST(GZipStages, AFailingNextStageIsNotTakenForDamage) {
    class Refuse final : public corva::ByteSink {
    public:
        bool Write(const uint8_t*, size_t) override { return false; }
        bool Finish() override { return true; }
    } refuse;
    const Bytes stream = Compress(TextPayload(5000));
    corva::Decompressor d(&refuse);
    EXPECT_FALSE(d.Write(stream.data(), stream.size()));
    EXPECT_FALSE(d.Finish());
    EXPECT_FALSE(d.Damaged());
}

// The file stage reads 64 KiB at a time: a second member whose first byte is
// the last byte of a read must still be read.
TEST(GZip, AMemberBeginningInTheLastByteOfABufferIsRead) {
    TempDir dir;
    const Bytes tail = TextPayload(500);
    const Bytes second = Compress(tail);
    for (size_t boundary : {size_t(65535), size_t(65534), size_t(65536)}) {
        // A stored (uncompressed) member grows with its input one for one:
        // find the input length that makes it end at the boundary.
        Bytes first, data;
        for (size_t n = boundary - 200; n < boundary && first.size() != boundary; ++n) {
            data = PseudoRandom(n, 5);
            z_stream z{};
            ASSERT_EQ(deflateInit2(&z, 0, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY), Z_OK);
            first.assign(deflateBound(&z, static_cast<uLong>(n)), 0);
            z.next_in = data.data();
            z.avail_in = static_cast<uInt>(n);
            z.next_out = first.data();
            z.avail_out = static_cast<uInt>(first.size());
            ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
            first.resize(first.size() - z.avail_out);
            deflateEnd(&z);
        }
        ASSERT_EQ(first.size(), boundary);
        Bytes stream = first;
        stream.insert(stream.end(), second.begin(), second.end());
        ASSERT_TRUE(WriteFileBytes(dir / L"two.gz", stream));
        ASSERT_TRUE(DecompressFile(dir / L"two.gz", dir / L"two")) << boundary;
        Bytes expected = data;
        expected.insert(expected.end(), tail.begin(), tail.end());
        EXPECT_EQ(ReadFileBytes(dir / L"two"), expected) << boundary;
    }
}
