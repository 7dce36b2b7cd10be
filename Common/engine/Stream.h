// The stages of the single-file pipelines pass bytes to one another through
// ByteSink: locking runs file -> compressor -> encipherer -> locked file,
// unlocking runs locked file -> decipherer -> decompressor -> restored file,
// and verification the same with a sink that keeps nothing. No stage puts
// anything on disk of its own.
//
// A compression stage (MakeCompressor, GZip.h) may be replaced by any other
// that writes a valid payload (one or more gzip members): the decompression
// stage reads every member.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace corva {

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Takes all bytes or fails; after a failure the sink takes nothing more.
    virtual bool Write(const uint8_t* data, size_t size) = 0;
    // Called once after the last Write: passes on what is still held and
    // finishes the next stage. False when the stream is incomplete or invalid
    // or the next stage failed.
    virtual bool Finish() = 0;
};

// Discards everything (verification).
class NullSink final : public ByteSink {
public:
    bool Write(const uint8_t*, size_t) override { return true; }
    bool Finish() override { return true; }
};

}  // namespace corva
