#include "engine/BodyStream.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/FailureLog.h"
#include "engine/GZip.h"
#include "engine/Progress.h"

namespace corva {

namespace {

// From this body length on, the cipher runs as a CipherStage: the chain on
// the calling thread, the blocks and what follows them on a worker.
constexpr uint64_t kStagedBody = 4 * kChunk;
constexpr size_t kStageBytes = CipherStage::kBlocks * kAesBlock;

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
      cipher_(seed, iv, true, watcher == nullptr && expected < kStagedBody),
      chunk_(CipherChunkFor(expected)),
      buffer_(chunk_ + kAesBlock),
      behind_(out, kHeaderSize),
      watcher_(watcher) {
    // A long body without a read-back beside it: in the staged form, the
    // blocks are enciphered and written on a worker while this thread
    // hashes the chain.
    if (!watcher && expected >= kStagedBody) {
        staged_.reset(new BodyWriter(*this));
        stage_.reset(new CipherStage(true, iv, staged_.get()));
        form_.reset(new StageForm(cipher_, *stage_));
    }
}

EncipherSink::~EncipherSink() {
    form_.reset();
    stage_.reset();
    plat::SecureZero(buffer_.data(), buffer_.size());
}

bool EncipherSink::Write(const uint8_t* data, size_t size) {
    while (size > 0) {
        if (failed_) return false;
        uint8_t* into = Buffer();
        if (!into) return false;
        const size_t room = Room();
        const size_t n = size < room - held_ ? size : room - held_;
        std::memcpy(into + held_, data, n);
        held_ += n;
        data += n;
        size -= n;
        payload_ += n;
        if (held_ == room && !Flush(room / kAesBlock)) return false;
    }
    return !failed_;
}

bool EncipherSink::Finish() {
    if (failed_) return false;
    uint8_t* into = Buffer();
    if (!into) return false;
    const size_t blocks = held_ / kAesBlock + 1;
    std::memset(into + held_, 0, blocks * kAesBlock - held_);
    if (!Flush(blocks)) return false;
    if (stage_ && !stage_->Drain()) failed_ = true;
    return !failed_;
}

uint8_t* EncipherSink::Buffer() {
    if (!form_ || !form_->Staged()) return buffer_.data();
    if (!slot_ && !(slot_ = stage_->Next())) failed_ = true;
    return slot_ ? slot_->blocks : nullptr;
}

size_t EncipherSink::Room() const { return stage_ ? kStageBytes : chunk_; }

bool EncipherSink::Flush(size_t blocks) {
    held_ = 0;
    if (form_ && form_->Staged()) {
        cipher_.HashKeys(slot_->keys, blocks);
        stage_->Submit(blocks, blocks * kAesBlock);
        slot_ = nullptr;
    } else {
        cipher_.Process(buffer_.data(), blocks);
        if (!WriteBody(buffer_.data(), blocks * kAesBlock)) failed_ = true;
    }
    if (form_ && !failed_ && !form_->Done(blocks)) failed_ = true;
    return !failed_;
}

bool EncipherSink::WriteBody(const uint8_t* data, size_t size) {
    if (!out_.Write(data, size)) return false;
    written_ += size;
    behind_.Reached(kHeaderSize + written_);
    if (watcher_) watcher_->BodyWritten(written_);
    return true;
}

namespace {

// DecipherBody of a long body, slot by slot in the form StageForm picks:
// staged (this thread reads the blocks and hashes their keys, a CipherStage
// deciphers them and feeds sink on its worker) or all on this thread.
BodyResult DecipherStaged(const Key32& k0, const LockedFileHeader& h, plat::File& in, ByteSink* sink,
                          const char* stage, const PipelineControl* control) {
    BodyCipher chain(k0.bytes, h.iv, false, false);
    CipherStage blocks(false, h.iv, sink);
    StageForm form(chain, blocks);
    std::vector<uint8_t> here;  // a slot's blocks in the one-thread form
    struct Wipe {
        std::vector<uint8_t>& v;
        ~Wipe() {
            if (!v.empty()) plat::SecureZero(v.data(), v.size());
        }
    } wipe{here};
    const uint64_t body = BodyBytesFor(h.payloadSize);
    uint64_t left = body, remaining = h.payloadSize;
    while (left > 0) {
        if (StopAsked(control)) return BodyResult::Stopped;
        const bool staged = form.Staged();
        CipherStage::Slot* slot = staged ? blocks.Next() : nullptr;
        if (staged && !slot) return BodyResult::SinkFailed;
        if (!staged && here.empty()) here.resize(kStageBytes);
        uint8_t* buffer = staged ? slot->blocks : here.data();
        const size_t want = left < kStageBytes ? static_cast<size_t>(left) : kStageBytes;
        size_t got = 0;
        if (!in.ReadFull(buffer, want, &got)) return BodyResult::ReadFailed;
        if (got != want) return BodyResult::Short;
        const size_t count = want / kAesBlock;
        const size_t bytes = remaining < want ? static_cast<size_t>(remaining) : want;
        if (staged) {
            chain.HashKeys(slot->keys, count);
            blocks.Submit(count, bytes);
        } else {
            chain.Process(buffer, count);
            if (bytes > 0 && !sink->Write(buffer, bytes)) return BodyResult::SinkFailed;
        }
        remaining -= bytes;
        left -= want;
        ReportProgress(stage, body - left, body);
        if (!form.Done(count)) return BodyResult::SinkFailed;
    }
    return blocks.Drain() ? BodyResult::Ok : BodyResult::SinkFailed;
}

}  // namespace

BodyResult DecipherBody(const Key32& k0, const LockedFileHeader& h, plat::File& in, ByteSink* sink,
                        const char* stage, const PipelineControl* control) {
    const uint64_t body = BodyBytesFor(h.payloadSize);
    if (body >= kStagedBody) return DecipherStaged(k0, h, in, sink, stage, control);
    BodyCipher cipher(k0.bytes, h.iv, false);
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
    // A long body is inflated on the cipher's worker (DecipherBody), beside
    // the chain of keys on this thread.
    Decompressor inflater(sink);
    switch (DecipherBody(keys.body, h, in, &inflater, stage, control)) {
        case BodyResult::Ok: break;
        case BodyResult::Stopped: return kCancelled;
        case BodyResult::ReadFailed:
            return fail(kIoFailure, kLogError, "[decryptfile] when read %s, a file io error occurs.",
                        LogName(name).c_str());
        case BodyResult::Short: return kSizeMismatch;
        case BodyResult::SinkFailed: return inflater.Damaged() ? kDamagedPayload : kIoFailure;
    }
    if (!inflater.Finish()) return inflater.Damaged() ? kDamagedPayload : kIoFailure;
    if (stamp) *stamp = inflater.Stamp();
    return kOk;
}

}  // namespace corva
