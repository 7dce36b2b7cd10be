// A gzip stream (RFC 1952) compressed on all processor cores: the input is
// cut into parts, each part deflated on a worker thread with its dictionary
// primed with the previous part's last 32 KiB, and the parts, each ended on a
// byte boundary, joined in order into one deflate stream that any gzip
// reader inflates. The header is the engine's fixed one (1F 8B 08 00
// 00000000 00 0B), or the payload header with a stamp (GZip.h); the trailer
// carries the CRC-32 and length of the whole input.
//
// A part that deflating would not shrink (compressed or random data: a fast
// deflate of three samples of it saves less than 3 %) goes into stored
// blocks, written straight from the input; the rest is deflated at the
// writer's level. An input that fits in one part is deflated on the calling
// thread; when deflating pays, it gives exactly the bytes of a single zlib
// deflate at the same settings.
//
// Memory stays bounded whatever the input size: at most a few parts (input
// and output) are held at once, and Write blocks while the workers catch up.
// Failures (the sink refusing bytes, zlib or memory errors) make Write and
// Finish return false; nothing is thrown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "Stream.h"
#include "platform/Platform.h"

namespace corva {

class ParallelGzipWriter {
public:
    // Receives the compressed stream in order, on the thread that calls
    // Write and Finish; returning false aborts the stream.
    using Sink = std::function<bool(const uint8_t* data, size_t size)>;

    static constexpr size_t kDefaultPartSize = size_t(1) << 20;

    // threads 0: one per processor core. level: zlib's level (-1 default).
    explicit ParallelGzipWriter(Sink sink, unsigned threads = 0, size_t partSize = kDefaultPartSize, int level = -1);
    ~ParallelGzipWriter();
    ParallelGzipWriter(const ParallelGzipWriter&) = delete;
    ParallelGzipWriter& operator=(const ParallelGzipWriter&) = delete;

    // Before the first Write: the header carries the plain file's
    // attributes and times (PayloadGzipHeader in GZip.h).
    void SetStamp(const plat::FileStamp& stamp);
    bool Write(const void* data, size_t size);
    // Compresses what is left, writes the trailer and stops the workers.
    bool Finish();

    uint64_t InputLength() const;
    uint64_t OutputLength() const;
    // Input bytes of the parts that went into stored blocks.
    uint64_t StoredLength() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The compression stage of locking on all cores: a ByteSink that passes a
// ParallelGzipWriter's stream to next; Finish writes the trailer, then
// finishes next. A payload of one part is the bytes MakeCompressor writes
// (with the same stamp).
std::unique_ptr<ByteSink> MakeParallelCompressor(ByteSink* next, const plat::FileStamp* stamp = nullptr);

}  // namespace corva
