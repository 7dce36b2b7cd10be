#include <gtest/gtest.h>

#include <zlib.h>

#include <memory>
#include <string>

#include "engine/GZip.h"
#include "engine/ParallelGzip.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

constexpr size_t kSmallPart = 64 * 1024;

// Text that compresses like documents do, with long-distance repeats so that
// a part really profits from the previous part's dictionary.
Bytes TextPayload(size_t size, uint32_t seed = 12345) {
    Bytes b;
    b.reserve(size);
    const char* words[] = {"lock ", "unlock ", "shred ", "folder ", "password ", "vault ", "invoice ", "\n"};
    uint32_t x = seed;
    unsigned line = 0;
    while (b.size() < size) {
        x = x * 1103515245u + 12345u;
        const char* w = words[(x >> 16) % 8];
        if (*w == '\n') {
            std::string number = std::to_string(line++) + " ";
            for (char c : number)
                if (b.size() < size) b.push_back(static_cast<uint8_t>(c));
        }
        while (*w && b.size() < size) b.push_back(static_cast<uint8_t>(*w++));
    }
    return b;
}

struct Compressed {
    Bytes bytes;
    bool ok = false;
    uint64_t stored = 0;  // input bytes that went into stored blocks
};

// Writes data in pieces of `piece` bytes (the whole at once for 0).
Compressed Gzip(const Bytes& data, unsigned threads, size_t partSize, size_t piece = 0,
                const plat::FileStamp* stamp = nullptr) {
    Compressed out;
    corva::ParallelGzipWriter writer(
        [&](const uint8_t* p, size_t n) {
            out.bytes.insert(out.bytes.end(), p, p + n);
            return true;
        },
        threads, partSize);
    if (stamp) writer.SetStamp(*stamp);
    bool ok = true;
    if (piece == 0) piece = data.size() ? data.size() : 1;
    for (size_t at = 0; at < data.size() && ok; at += piece)
        ok = writer.Write(data.data() + at, std::min(piece, data.size() - at));
    out.ok = writer.Finish() && ok;
    out.stored = writer.StoredLength();
    EXPECT_EQ(writer.InputLength(), data.size());
    EXPECT_EQ(writer.OutputLength(), out.bytes.size());
    return out;
}

// zlib's gzip file reader on the stream, through a file.
Bytes ReadWithGzread(const std::wstring& path, const Bytes& gz, bool* ok) {
    *ok = WriteFileBytes(path, gz);
    Bytes out;
    gzFile f = gzopen(plat::WideToNarrow(path).c_str(), "rb");
    if (!f) {
        *ok = false;
        return out;
    }
    uint8_t buf[65536];
    int n;
    while ((n = gzread(f, buf, sizeof buf)) > 0) out.insert(out.end(), buf, buf + n);
    int err = 0;
    gzerror(f, &err);
    *ok = *ok && n == 0 && err == Z_OK && gzclose(f) == Z_OK;
    return out;
}

// One zlib deflate of the whole input, gzip-wrapped, at the default level;
// with a stamp, zlib writes the header's MTIME and extra field itself.
Bytes ZlibGzip(const Bytes& data, const plat::FileStamp* stamp = nullptr) {
    z_stream z{};
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    gz_header h{};
    h.os = 0x0B;
    Bytes extra;
    if (stamp) {
        extra = corva::StampExtraField(*stamp);
        h.time = corva::StampMtime(*stamp);
        h.extra = extra.data();
        h.extra_len = static_cast<uInt>(extra.size());
    }
    deflateSetHeader(&z, &h);
    Bytes out(deflateBound(&z, static_cast<uLong>(data.size())) + 64);
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(out.size() - z.avail_out);
    deflateEnd(&z);
    return out;
}

class Collect final : public corva::ByteSink {
public:
    explicit Collect(Bytes* out) : out_(out) {}
    bool Write(const uint8_t* data, size_t size) override {
        out_->insert(out_->end(), data, data + size);
        return true;
    }
    bool Finish() override { return true; }

private:
    Bytes* out_;
};

}  // namespace

TEST(ParallelGzip, InputOfOnePartGivesExactlyZlibsStream) {
    for (size_t size : {size_t(0), size_t(1), size_t(1000), kSmallPart - 1, kSmallPart}) {
        const Bytes data = TextPayload(size);
        Compressed c = Gzip(data, 2, kSmallPart);
        ASSERT_TRUE(c.ok) << size;
        EXPECT_EQ(c.bytes, ZlibGzip(data)) << size;
    }
    Compressed empty = Gzip({}, 2, kSmallPart);
    EXPECT_EQ(ToHex(empty.bytes), "1f8b080000000000000b03000000000000000000");

    // With a stamp the header is framed as zlib frames it, and the
    // single-thread stage writes the same bytes.
    plat::FileStamp stamp;
    stamp.modifiedKnown = true;
    stamp.modified.seconds = 1500000000;
    stamp.modified.nanoseconds = 42;
    stamp.attributesKnown = plat::kAttributeReadOnly;
    stamp.attributes = plat::kAttributeReadOnly;
    const Bytes data = TextPayload(1000);
    Compressed stamped = Gzip(data, 2, kSmallPart, 0, &stamp);
    ASSERT_TRUE(stamped.ok);
    EXPECT_EQ(stamped.bytes, ZlibGzip(data, &stamp));
    Bytes single;
    Collect sink(&single);
    std::unique_ptr<corva::ByteSink> c = corva::MakeCompressor(&sink, &stamp);
    ASSERT_TRUE(c->Write(data.data(), data.size()) && c->Finish());
    EXPECT_EQ(single, stamped.bytes);
}

TEST(ParallelGzip, PartsJoinIntoOneStreamThatGzreadInflates) {
    TempDir dir;
    const size_t sizes[] = {kSmallPart + 1, 2 * kSmallPart, 2 * kSmallPart + 1, 7 * kSmallPart + 12345};
    for (size_t size : sizes) {
        for (bool text : {true, false}) {
            const Bytes data = text ? TextPayload(size) : PseudoRandom(size, static_cast<uint32_t>(size));
            Compressed c = Gzip(data, 2, kSmallPart);
            ASSERT_TRUE(c.ok);
            // The engine's fixed header: deflate, no flags, time 0, system byte 0x0B.
            ASSERT_GE(c.bytes.size(), 18u);
            EXPECT_EQ(ToHex(Bytes(c.bytes.begin(), c.bytes.begin() + 10)), "1f8b080000000000000b");
            bool ok = false;
            EXPECT_EQ(ReadWithGzread(dir / L"p.gz", c.bytes, &ok), data) << size << " text " << text;
            EXPECT_TRUE(ok) << "gzread reported an error (CRC or length), size " << size;
        }
    }
}

// Parts that deflating would not shrink are stored rather than searched for
// matches. The choice is made part by part: text between random parts is
// deflated as well as on its own, and the random parts cost their size.
TEST(ParallelGzip, EachPartIsStoredOnlyWhenDeflatingItDoesNotPay) {
    TempDir dir;
    const Bytes text = TextPayload(2 * kSmallPart, 7);
    Bytes data = PseudoRandom(2 * kSmallPart, 1);
    data.insert(data.end(), text.begin(), text.end());
    const Bytes tail = PseudoRandom(kSmallPart, 2);
    data.insert(data.end(), tail.begin(), tail.end());
    Compressed c = Gzip(data, 2, kSmallPart);
    ASSERT_TRUE(c.ok);
    bool ok = false;
    EXPECT_EQ(ReadWithGzread(dir / L"m.gz", c.bytes, &ok), data);
    EXPECT_TRUE(ok);
    const size_t randomBytes = 3 * kSmallPart, textAlone = ZlibGzip(text).size();
    EXPECT_EQ(c.stored, randomBytes);
    EXPECT_GE(c.bytes.size(), randomBytes);
    EXPECT_LE(static_cast<double>(c.bytes.size()), static_cast<double>(randomBytes) + 1.05 * textAlone)
        << "the text part was not deflated";
}

TEST(ParallelGzip, OutputIsTheSameForAnyThreadCountAndWriteSize) {
    const Bytes data = TextPayload(5 * kSmallPart + 777);
    const Compressed reference = Gzip(data, 1, kSmallPart);
    ASSERT_TRUE(reference.ok);
    for (unsigned threads : {2u, 3u, 8u}) {
        Compressed c = Gzip(data, threads, kSmallPart);
        ASSERT_TRUE(c.ok);
        EXPECT_EQ(c.bytes, reference.bytes) << threads << " threads";
    }
    // Writes that straddle part boundaries in odd pieces.
    for (size_t piece : {size_t(1000), kSmallPart - 1, kSmallPart + 1}) {
        Compressed c = Gzip(data, 2, kSmallPart, piece);
        ASSERT_TRUE(c.ok);
        EXPECT_EQ(c.bytes, reference.bytes) << "pieces of " << piece;
    }
}

// Each part is deflated with the previous part's window as its dictionary,
// so splitting costs next to nothing against one deflate of the whole.
TEST(ParallelGzip, SizeIsWithinOnePercentOfOneZlibDeflate) {
    const Bytes data = TextPayload(6u << 20, 99);
    Compressed c = Gzip(data, 2, corva::ParallelGzipWriter::kDefaultPartSize);
    ASSERT_TRUE(c.ok);
    const Bytes whole = ZlibGzip(data);
    EXPECT_LE(static_cast<double>(c.bytes.size()), 1.01 * static_cast<double>(whole.size()))
        << "parallel " << c.bytes.size() << " zlib " << whole.size();
    // Without the dictionaries the loss would show: this guards the priming.
    Bytes noDictionary;
    for (size_t at = 0; at < data.size(); at += corva::ParallelGzipWriter::kDefaultPartSize) {
        Bytes piece(data.begin() + static_cast<std::ptrdiff_t>(at),
                    data.begin() + static_cast<std::ptrdiff_t>(
                                       std::min(data.size(), at + corva::ParallelGzipWriter::kDefaultPartSize)));
        Bytes z = ZlibGzip(piece);
        noDictionary.insert(noDictionary.end(), z.begin(), z.end());
    }
    EXPECT_LT(c.bytes.size(), noDictionary.size());
}

// Output leaves while input still comes: only a few parts are ever held.
TEST(ParallelGzip, MemoryStaysBoundedAsOutputFlowsDuringInput) {
    const unsigned threads = 2;
    size_t emitted = 0;
    corva::ParallelGzipWriter writer(
        [&](const uint8_t*, size_t n) {
            emitted += n;
            return true;
        },
        threads, kSmallPart);
    const Bytes part = PseudoRandom(kSmallPart, 5);  // incompressible: output ~ input
    const size_t parts = 40;
    for (size_t i = 0; i < parts; ++i) {
        ASSERT_TRUE(writer.Write(part.data(), part.size()));
        // Held at most: the part being filled and 2 per thread in flight.
        const size_t held = 2 * threads + 1 + 1;
        if (i + 1 > held) {
            EXPECT_GE(emitted, (i + 1 - held) * kSmallPart) << "after part " << i;
        }
    }
    ASSERT_TRUE(writer.Finish());
    EXPECT_GE(emitted, parts * kSmallPart);
}

TEST(ParallelGzip, ASinkThatFailsStopsTheStream) {
    const Bytes data = TextPayload(10 * kSmallPart);
    for (size_t failAt : {size_t(0), size_t(1), size_t(3)}) {
        size_t calls = 0;
        corva::ParallelGzipWriter writer([&](const uint8_t*, size_t) { return calls++ < failAt; }, 2, kSmallPart);
        bool ok = writer.Write(data.data(), data.size());
        ok = writer.Finish() && ok;
        EXPECT_FALSE(ok) << failAt;
        EXPECT_FALSE(writer.Write(data.data(), 1)) << "a failed stream takes nothing more";
    }
    // The writer may also be dropped unfinished while parts are in flight.
    {
        corva::ParallelGzipWriter writer([](const uint8_t*, size_t) { return true; }, 2, kSmallPart);
        EXPECT_TRUE(writer.Write(data.data(), data.size()));
    }
}
