// Inside the engine: the body of a locked file written and read. Plain bytes
// are streamed from a file in reads of up to a megabyte (StreamPlainFile),
// enciphered into the body (EncipherSink), and the body is deciphered and
// inflated again by the one reader of locked files (ReadLockedFile), which
// unlocking, verifying and the read-back after locking all go through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/CipherStage.h"
#include "engine/HeaderKeys.h"
#include "engine/LockedFile.h"
#include "engine/Stream.h"
#include "platform/Platform.h"

namespace corva {

constexpr size_t kChunk = 1024 * 1024;  // a whole number of cipher blocks

// Body length in bytes for a payload: floor(L/16) + 1 blocks.
inline uint64_t BodyBytesFor(uint64_t payloadSize) { return (payloadSize / kAesBlock + 1) * kAesBlock; }

// True when the run was asked to stop.
bool StopAsked(const PipelineControl* control);

// How streaming a plain file ended.
enum class PlainReadEnd {
    Done,        // every byte passed on
    Stopped,     // control asked to stop between two reads
    ReadFailed,  // the file could not be read (its LastError says why)
    Changed,     // its length is not the one measured before: another program writes to it
    SinkFailed,  // the next stage refused the bytes
};
// Streams the plain file in, of length bytes as measured before, into sink,
// reporting progress as stage, and checks afterwards that the file still has
// that length. The read buffer is wiped.
PlainReadEnd StreamPlainFile(plat::File& in, int64_t length, ByteSink* sink, const char* stage,
                             const PipelineControl* control);

// Has the system start writing a file out every few megabytes while it is
// written, so that the Flush that ends it waits only for the last part
// instead of the whole file (the disk works beside the cipher).
class WriteBehind {
public:
    // start: the file offset the writes begin at.
    WriteBehind(plat::File& file, uint64_t start) : file_(file), started_(start) {}
    // The writes have reached offset end.
    void Reached(uint64_t end) {
        if (end - started_ < kStep) return;
        file_.StartWriteBack(static_cast<int64_t>(started_), static_cast<int64_t>(end - started_));
        started_ = end;
    }
    static constexpr uint64_t kStep = 8 * kChunk;

private:
    plat::File& file_;
    uint64_t started_;
};

// Writes whatever reaches it into an open file, from its start.
class FileSink final : public ByteSink {
public:
    explicit FileSink(plat::File& file) : file_(file), behind_(file, 0) {}
    bool Write(const uint8_t* data, size_t size) override {
        if (failed_ || !file_.Write(data, size)) return !(failed_ = true);
        behind_.Reached(written_ += size);
        return true;
    }
    bool Finish() override { return !failed_; }
    bool Failed() const { return failed_; }

private:
    plat::File& file_;
    WriteBehind behind_;
    uint64_t written_ = 0;
    bool failed_ = false;
};

// Told how much of a body has been written (a read-back that follows the
// writer).
class BodyWatcher {
public:
    virtual ~BodyWatcher() = default;
    virtual void BodyWritten(uint64_t bytes) = 0;
};

// Enciphers the payload into the body and writes it: 16-byte blocks, the
// last one holding the remaining bytes and zeros, or 16 zeros when the
// payload ends on a block boundary.
class EncipherSink final : public ByteSink {
public:
    // expected: about how many payload bytes will come. The buffer (cleared
    // on allocation and wiped at the end) is sized to it, up to a megabyte:
    // clearing a megabyte twice for every small file of a folder costs more
    // than enciphering it.
    // watcher: told after every write, when given (a read-back that runs
    // beside, keeping the other core busy: no helper thread for the cipher).
    EncipherSink(plat::File& out, const uint8_t seed[kDigestSize], const uint8_t iv[kAesBlock], uint64_t expected,
                 BodyWatcher* watcher = nullptr);
    ~EncipherSink() override;
    EncipherSink(const EncipherSink&) = delete;
    EncipherSink& operator=(const EncipherSink&) = delete;

    bool Write(const uint8_t* data, size_t size) override;
    bool Finish() override;

    uint64_t PayloadSize() const { return payload_; }
    bool Failed() const { return failed_; }

private:
    // The worker's end of a staged cipher: writes the enciphered blocks.
    class BodyWriter final : public ByteSink {
    public:
        explicit BodyWriter(EncipherSink& owner) : owner_(owner) {}
        bool Write(const uint8_t* data, size_t size) override { return owner_.WriteBody(data, size); }
        bool Finish() override { return true; }

    private:
        EncipherSink& owner_;
    };

    // Where the next payload bytes go (nullptr once the stage failed), and
    // how many bytes fill it.
    uint8_t* Buffer();
    size_t Room() const;
    bool Flush(size_t blocks);
    // Writes enciphered blocks (on the stage's worker when staged).
    bool WriteBody(const uint8_t* data, size_t size);

    plat::File& out_;
    BodyCipher cipher_;
    const size_t chunk_;
    std::vector<uint8_t> buffer_;
    size_t held_ = 0;
    uint64_t payload_ = 0;
    uint64_t written_ = 0;
    WriteBehind behind_;
    BodyWatcher* watcher_;
    std::unique_ptr<BodyWriter> staged_;
    std::unique_ptr<CipherStage> stage_;  // ends before the members its worker uses
    std::unique_ptr<StageForm> form_;     // of a staged cipher's slots
    CipherStage::Slot* slot_ = nullptr;
    bool failed_ = false;  // set by this thread only
};

// How deciphering a body ended.
enum class BodyResult { Ok, ReadFailed, Short, SinkFailed, Stopped };
// Reads the body from the current position of in (just past the header),
// deciphers it and hands exactly the payload size's bytes to sink. The body
// must hold exactly the blocks the payload size calls for.
BodyResult DecipherBody(const Key32& k0, const LockedFileHeader& h, plat::File& in, ByteSink* sink,
                        const char* stage, const PipelineControl* control = nullptr);

// Keys known from writing a locked file, with the header they belong to: the
// read-back uses them only when the header on disk is exactly that one
// (otherwise keys derived from the disk's salt and digest could differ).
struct WrittenKeys {
    const FileKeys* keys;
    uint8_t header[kHeaderSize];
};

// The one reader of locked files, for unlocking and verifying alike: the
// header, the password, the body length, every block deciphered and the
// payload inflated into sink with every gzip member checked. known: the keys
// already derived for this very header (the read-back after locking), or
// nullptr to derive them from the password. stamp: receives the plain
// file's attributes and times from the payload's header, when given.
EngineResult ReadLockedFile(const char* password, const WrittenKeys* known, plat::File& in, ByteSink* sink,
                            const wchar_t* name, FileLog* log, const char* stage, plat::FileStamp* stamp = nullptr,
                            const PipelineControl* control = nullptr);

}  // namespace corva
