#include "engine/ReadBack.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/GZip.h"

namespace corva {

struct ConcurrentReadBack::State {
    const plat::File* file = nullptr;
    const FileKeys* keys = nullptr;
    uint8_t iv[kAesBlock] = {};
    const PipelineControl* control = nullptr;
    std::thread thread;
    bool started = false;

    std::mutex mutex;
    std::condition_variable changed;
    uint64_t written = 0;      // body bytes the writer has written
    bool finishing = false;    // the writer is done: payloadSize holds
    bool stopping = false;     // end now, the result does not count
    uint64_t payloadSize = 0;
    // Set by the thread when it ends.
    bool ended = false;
    EngineResult result = kOk;
    plat::IoError readError = plat::IoError::None;  // of a failed read

    void Run() {
        EngineResult r = kOk;
        try {
            r = Check();
        } catch (const std::exception&) {
            r = kIoFailure;  // out of memory
        }
        std::lock_guard<std::mutex> lock(mutex);
        result = r;
        ended = true;
        changed.notify_all();
    }

    EngineResult Check() {
        // The writer's chain keeps the other core busy: no helper thread.
        BodyCipher cipher(keys->body.bytes, iv, false, false);
        NullSink discard;
        Decompressor inflater(&discard);
        std::vector<uint8_t> buffer(kChunk);
        // The last block read so far, held back: the final one may end in
        // padding, and only the payload's size tells.
        uint8_t held[kAesBlock];
        bool holding = false;
        uint64_t done = 0;
        EngineResult r = kOk;
        for (;;) {
            uint64_t ready = 0;
            bool last = false;
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] { return stopping || finishing || written > done; });
                if (stopping) return kCancelled;
                ready = written;
                last = finishing;
            }
            if (ready == done) {
                if (last) break;
                continue;
            }
            const size_t n = ready - done < kChunk ? static_cast<size_t>(ready - done) : kChunk;
            size_t got = 0;
            if (!file->ReadAt(static_cast<int64_t>(kHeaderSize + done), buffer.data(), n, &got, &readError)) {
                r = kIoFailure;
                break;
            }
            if (got != n) {  // shorter than what was written
                r = kDamagedPayload;
                break;
            }
            cipher.Process(buffer.data(), n / kAesBlock);
            if ((holding && !inflater.Write(held, kAesBlock)) || !inflater.Write(buffer.data(), n - kAesBlock)) {
                r = kDamagedPayload;
                break;
            }
            std::memcpy(held, buffer.data() + n - kAesBlock, kAesBlock);
            holding = true;
            done += n;
        }
        if (r == kOk) {
            // The payload's bytes in the last block, then the end of the stream.
            const size_t tail = static_cast<size_t>(payloadSize % kAesBlock);
            if (done != BodyBytesFor(payloadSize) || !holding || (tail > 0 && !inflater.Write(held, tail)) ||
                !inflater.Finish())
                r = kDamagedPayload;
        }
        plat::SecureZero(buffer.data(), buffer.size());
        plat::SecureZero(held, sizeof held);
        return r;
    }

    void Stop() {
        if (!started) return;
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
        }
        changed.notify_all();
        thread.join();
        started = false;
    }
};

ConcurrentReadBack::ConcurrentReadBack(const plat::File& file, const FileKeys& keys, const uint8_t iv[kAesBlock],
                                       const PipelineControl* control)
    : state_(new State) {
    state_->file = &file;
    state_->keys = &keys;
    std::memcpy(state_->iv, iv, kAesBlock);
    state_->control = control;
}

ConcurrentReadBack::~ConcurrentReadBack() { state_->Stop(); }

bool ConcurrentReadBack::Start() {
    State& s = *state_;
    try {
        s.thread = std::thread([&s] { s.Run(); });
        s.started = true;
    } catch (const std::exception&) {
        s.started = false;
    }
    return s.started;
}

void ConcurrentReadBack::BodyWritten(uint64_t bytes) {
    State& s = *state_;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.written = bytes;
    }
    s.changed.notify_all();
}

EngineResult ConcurrentReadBack::Finish(const WrittenKeys& written, uint64_t payloadSize, plat::IoError* error) {
    State& s = *state_;
    *error = plat::IoError::None;
    if (!s.started) return kIoFailure;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.payloadSize = payloadSize;
        s.finishing = true;
    }
    s.changed.notify_all();
    // The run's stop is asked on this thread only (its callback need not be
    // safe to call from another one), while the check ends.
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(s.mutex);
            if (s.changed.wait_for(lock, std::chrono::milliseconds(20), [&] { return s.ended; })) break;
        }
        if (StopAsked(s.control)) {
            s.Stop();
            return kCancelled;
        }
    }
    s.thread.join();
    s.started = false;
    *error = s.readError;
    if (s.result != kOk) return s.result;
    // The header as it is on disk now, and nothing behind the body.
    uint8_t raw[kHeaderSize];
    size_t got = 0;
    int64_t size = 0;
    if (!s.file->ReadAt(0, raw, sizeof raw, &got, error)) return kIoFailure;
    if (got != sizeof raw || std::memcmp(raw, written.header, kHeaderSize) != 0) return kDamagedPayload;
    if (!s.file->Size(&size) || static_cast<uint64_t>(size) != kHeaderSize + BodyBytesFor(payloadSize))
        return kDamagedPayload;
    return kOk;
}

}  // namespace corva
