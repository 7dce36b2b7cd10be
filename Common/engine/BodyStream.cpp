#include "engine/BodyStream.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/FailureLog.h"
#include "engine/GZip.h"
#include "engine/Progress.h"
#include "engine/StageThread.h"

namespace corva {

namespace {

// From this body length on, deciphering and inflating run on two threads.
constexpr uint64_t kThreadedBody = 4 * kChunk;

// A whole number of cipher blocks, from 4 KiB to kChunk; a payload longer
// than expected only takes more rounds through the buffer.
size_t CipherChunkFor(uint64_t expected) {
    const uint64_t wanted = (expected + 64 + kAesBlock - 1) / kAesBlock * kAesBlock;
    return static_cast<size_t>(std::max<uint64_t>(4096, std::min<uint64_t>(wanted, kChunk)));
}

}  // namespace

bool StopAsked(const PipelineControl* control) { return control && control->stopRequested && control->stopRequested(); }

PlainReadEnd StreamPlainFile(plat::File& in, int64_t length, ByteSink* sink, const char* stage,
                             const PipelineControl* control) {
    const uint64_t expected = static_cast<uint64_t>(length);
    // Reads of at most a megabyte; one byte more than a small file's length
    // still tells its end.
    std::vector<uint8_t> buf(expected < kChunk ? static_cast<size_t>(expected) + 1 : kChunk);
    uint64_t total = 0;
    PlainReadEnd end = PlainReadEnd::Done;
    for (;;) {
        if (StopAsked(control)) {
            end = PlainReadEnd::Stopped;
            break;
        }
        size_t got = 0;
        if (!in.ReadFull(buf.data(), buf.size(), &got)) {
            end = PlainReadEnd::ReadFailed;
            break;
        }
        total += got;
        ReportProgress(stage, total, expected);
        if (got > 0 && !sink->Write(buf.data(), got)) {
            end = PlainReadEnd::SinkFailed;
            break;
        }
        if (got < buf.size()) break;
    }
    plat::SecureZero(buf.data(), buf.size());
    // A file whose length changed while it was read is not taken: the stream
    // would hold neither the old nor the new content.
    int64_t after = 0;
    if (end == PlainReadEnd::Done && (total != expected || !in.Size(&after) || after != length))
        end = PlainReadEnd::Changed;
    return end;
}

EncipherSink::EncipherSink(plat::File& out, const uint8_t seed[kDigestSize], const uint8_t iv[kAesBlock],
                           uint64_t expected, BodyWatcher* watcher)
    : out_(out),
      cipher_(seed, iv, true, watcher == nullptr),
      chunk_(CipherChunkFor(expected)),
      buffer_(chunk_ + kAesBlock),
      behind_(out, kHeaderSize),
      watcher_(watcher) {}

EncipherSink::~EncipherSink() { plat::SecureZero(buffer_.data(), buffer_.size()); }

bool EncipherSink::Write(const uint8_t* data, size_t size) {
    while (size > 0) {
        if (failed_) return false;
        const size_t n = size < chunk_ - held_ ? size : chunk_ - held_;
        std::memcpy(buffer_.data() + held_, data, n);
        held_ += n;
        data += n;
        size -= n;
        payload_ += n;
        if (held_ == chunk_ && !Flush(chunk_ / kAesBlock)) return false;
    }
    return !failed_;
}

bool EncipherSink::Finish() {
    if (failed_) return false;
    const size_t blocks = held_ / kAesBlock + 1;
    std::memset(buffer_.data() + held_, 0, blocks * kAesBlock - held_);
    return Flush(blocks);
}

bool EncipherSink::Flush(size_t blocks) {
    cipher_.Process(buffer_.data(), blocks);
    held_ = 0;
    if (!out_.Write(buffer_.data(), blocks * kAesBlock)) return !(failed_ = true);
    written_ += blocks * kAesBlock;
    behind_.Reached(kHeaderSize + written_);
    if (watcher_) watcher_->BodyWritten(written_);
    return true;
}

BodyResult DecipherBody(const Key32& k0, const LockedFileHeader& h, plat::File& in, ByteSink* sink,
                        const char* stage, const PipelineControl* control) {
    BodyCipher cipher(k0.bytes, h.iv, false);
    const uint64_t body = BodyBytesFor(h.payloadSize);
    // A small file needs no megabyte to be cleared and wiped.
    std::vector<uint8_t> buf(body < kChunk ? static_cast<size_t>(body) : kChunk);
    uint64_t left = body, remaining = h.payloadSize;
    BodyResult result = BodyResult::Ok;
    while (left > 0) {
        if (StopAsked(control)) {
            result = BodyResult::Stopped;
            break;
        }
        const size_t want = left < kChunk ? static_cast<size_t>(left) : kChunk;
        size_t got = 0;
        if (!in.ReadFull(buf.data(), want, &got)) {
            result = BodyResult::ReadFailed;
            break;
        }
        if (got != want) {
            result = BodyResult::Short;
            break;
        }
        cipher.Process(buf.data(), want / kAesBlock);
        const size_t bytes = remaining < want ? static_cast<size_t>(remaining) : want;
        if (bytes > 0 && !sink->Write(buf.data(), bytes)) {
            result = BodyResult::SinkFailed;
            break;
        }
        remaining -= bytes;
        left -= want;
        ReportProgress(stage, body - left, body);
    }
    plat::SecureZero(buf.data(), buf.size());
    return result;
}

EngineResult ReadLockedFile(const char* password, const WrittenKeys* known, plat::File& in, ByteSink* sink,
                            const wchar_t* name, FileLog* log, const char* stage, plat::FileStamp* stamp,
                            const PipelineControl* control) {
    FailureLog fail(log, nullptr);
    LockedFileHeader h;
    int64_t size = 0;
    uint8_t raw[kHeaderSize];
    const EngineResult shape = ReadHeader(in, &h, &size, raw);
    if (shape != kOk) return shape;
    if (known && std::memcmp(raw, known->header, kHeaderSize) != 0)
        return fail(kDamagedPayload, kLogError, "[decryptfile] the header of %s differs from the one written.",
                    LogName(name).c_str());
    FileKeys derived;
    if (!known) DeriveFileKeys(password, h, &derived);
    const FileKeys& keys = known ? *known->keys : derived;
    if (!HeaderMatchesKey(keys.header, h))
        return fail(kWrongPassword, kLogWarn, "[decryptfile] password does not match %s.", LogName(name).c_str());
    const uint64_t body = static_cast<uint64_t>(size) - kHeaderSize;
    if (body < BodyBytesFor(h.payloadSize)) return kSizeMismatch;
    if (body > BodyBytesFor(h.payloadSize)) return kDamagedPayload;  // the stream needs more than the header says
    Decompressor inflater(sink);
    // A big body is deciphered here and inflated on a thread of its own.
    std::unique_ptr<ThreadedSink> ahead;
    if (BodyBytesFor(h.payloadSize) >= kThreadedBody) ahead.reset(new ThreadedSink(&inflater));
    ByteSink* first = ahead ? static_cast<ByteSink*>(ahead.get()) : &inflater;
    switch (DecipherBody(keys.body, h, in, first, stage, control)) {
        case BodyResult::Ok: break;
        case BodyResult::Stopped:
            ahead.reset();
            return kCancelled;
        case BodyResult::ReadFailed:
            return fail(kIoFailure, kLogError, "[decryptfile] when read %s, a file io error occurs.",
                        LogName(name).c_str());
        case BodyResult::Short: return kSizeMismatch;
        case BodyResult::SinkFailed:
            ahead.reset();  // the inflater's thread has ended before it is asked
            return inflater.Damaged() ? kDamagedPayload : kIoFailure;
    }
    const bool finished = first->Finish();
    ahead.reset();
    if (!finished) return inflater.Damaged() ? kDamagedPayload : kIoFailure;
    if (stamp) *stamp = inflater.Stamp();
    return kOk;
}

}  // namespace corva
