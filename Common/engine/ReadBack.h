// Inside the engine: the read-back check of a large locked file, run beside
// its writing instead of after it. A thread reads the body back through the
// same file (File::ReadAt) as soon as the writer reports it written,
// deciphers it with the keys it was written with and inflates it, every
// gzip member checked, so the check costs the second core rather than the
// time after the writing. The last block waits until the payload's size is
// known. Finish then reads the header back, which must be exactly the one
// written, checks the body's length and the end of the stream, and reports.
//
// The thread ends in Finish or in the destructor, whatever happened (a
// failed write, a cancel); it stops early at the first fault it finds. The
// run's stop is asked only on the writer's thread: between its chunks, and
// in Finish while the check ends.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/BodyStream.h"
#include "engine/HeaderKeys.h"
#include "engine/LockedFile.h"
#include "platform/Platform.h"

namespace corva {

class ConcurrentReadBack final : public BodyWatcher {
public:
    // file: the locked file being written (its header first); keys and iv:
    // those it is written with. All must outlive this object.
    ConcurrentReadBack(const plat::File& file, const FileKeys& keys, const uint8_t iv[kAesBlock],
                       const PipelineControl* control);
    ~ConcurrentReadBack() override;
    ConcurrentReadBack(const ConcurrentReadBack&) = delete;
    ConcurrentReadBack& operator=(const ConcurrentReadBack&) = delete;

    // Starts the thread; false when it cannot be started.
    bool Start();
    // From the writer: bytes of body written so far (whole blocks).
    void BodyWritten(uint64_t bytes) override;
    // Once the writer is done and the header holds the payload size: waits
    // for the check to end and returns kOk, kCancelled, or the fault found
    // (kDamagedPayload: the stream or the header is not what was written,
    // kIoFailure: a read failed, *error says how).
    EngineResult Finish(const WrittenKeys& written, uint64_t payloadSize, plat::IoError* error);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace corva
