#include "ParallelGzip.h"

#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "GZip.h"
#include "platform/Platform.h"

namespace corva {

namespace {

constexpr size_t kWindow = 32 * 1024;  // deflate's largest distance

// One part of the input and, once a worker is done with it, its deflate
// bytes. The dictionary is the previous part's last 32 KiB (empty for the
// first part).
struct Part {
    Part() = default;
    Part(const Part&) = delete;
    Part& operator=(const Part&) = delete;
    // The user's content leaves no copy in freed memory.
    ~Part() {
        if (!input.empty()) plat::SecureZero(input.data(), input.size());
        if (!output.empty()) plat::SecureZero(output.data(), output.size());
        if (!dictionary.empty()) plat::SecureZero(dictionary.data(), dictionary.size());
    }

    std::vector<uint8_t> input;
    std::vector<uint8_t> dictionary;
    std::vector<uint8_t> output;
    bool last = false;
    bool stored = false;  // deflating did not pay
    bool done = false;
    bool ok = false;
    uLong crc = 0;
};

// A raw deflate stream (window bits 15, memory level 8, default strategy)
// at one level, reset for each use.
class RawDeflate {
public:
    explicit RawDeflate(int level) { ready_ = deflateInit2(&z_, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK; }
    ~RawDeflate() {
        if (ready_) deflateEnd(&z_);
    }
    RawDeflate(const RawDeflate&) = delete;
    RawDeflate& operator=(const RawDeflate&) = delete;

    // The stream, reset; nullptr when it cannot be used.
    z_stream* Reset() { return ready_ && deflateReset(&z_) == Z_OK ? &z_ : nullptr; }

private:
    z_stream z_{};
    bool ready_ = false;
};

// Whether deflating a part pays: a fast deflate of three pieces of it (its
// start, middle and end) must save at least 3 % of them. Data that
// is compressed already (photos, video, archives) or random saves nothing;
// searching it for matches at the default level would cost many times the
// cipher, for the same size, so such a part is stored instead.
class CompressibilityProbe {
public:
    CompressibilityProbe() : fast_(1), out_(2 * kPiece) {}

    bool Pays(const std::vector<uint8_t>& input) {
        if (input.size() < kProbeFrom) return true;
        size_t taken = 0, produced = 0;
        for (size_t i = 0; i < kPieces; ++i) {
            z_stream* z = fast_.Reset();
            if (!z) return true;
            const size_t at = (input.size() - kPiece) * i / (kPieces - 1);
            z->next_in = const_cast<Bytef*>(input.data() + at);
            z->avail_in = static_cast<uInt>(kPiece);
            z->next_out = out_.data();
            z->avail_out = static_cast<uInt>(out_.size());
            if (deflate(z, Z_FINISH) != Z_STREAM_END) return false;  // grew past twice its size
            taken += kPiece;
            produced += out_.size() - z->avail_out;
        }
        plat::SecureZero(out_.data(), out_.size());
        return produced * 100 < taken * kPercentKept;
    }

    static constexpr size_t kPiece = 16 * 1024;
    static constexpr size_t kPieces = 3;
    // Smaller parts are deflated whatever they hold: a probe would cost
    // about as much.
    static constexpr size_t kProbeFrom = kPieces * kPiece;
    static constexpr size_t kPercentKept = 97;

private:
    RawDeflate fast_;
    std::vector<uint8_t> out_;
};

// Deflates part after part at the writer's level, or marks a part for
// stored blocks when the probe finds that deflating it does not pay.
class PartDeflater {
public:
    explicit PartDeflater(int level) : level_(level), deflate_(level) {}

    // Fills part.output: the deflate blocks of part.input, ended on a byte
    // boundary by a sync flush, or by the final block for the last part. A
    // stored part keeps no output: its blocks are written straight from its
    // input (StoredBlocks).
    bool Compress(Part& part) {
        part.crc = crc32(0L, part.input.data(), static_cast<uInt>(part.input.size()));
        part.stored = level_ != 0 && !probe_.Pays(part.input);
        if (part.stored) return true;
        z_stream* z = deflate_.Reset();
        if (!z) return false;
        if (!part.dictionary.empty() &&
            deflateSetDictionary(z, part.dictionary.data(), static_cast<uInt>(part.dictionary.size())) != Z_OK)
            return false;
        // Room for the whole part in one call: the bound plus the sync
        // marker; grown if zlib ever needs more.
        part.output.resize(deflateBound(z, static_cast<uLong>(part.input.size())) + 64);
        z->next_in = part.input.empty() ? nullptr : part.input.data();
        z->avail_in = static_cast<uInt>(part.input.size());
        size_t produced = 0;
        const int flush = part.last ? Z_FINISH : Z_SYNC_FLUSH;
        for (;;) {
            z->next_out = part.output.data() + produced;
            z->avail_out = static_cast<uInt>(part.output.size() - produced);
            const int rc = deflate(z, flush);
            produced = part.output.size() - z->avail_out;
            if (rc == Z_STREAM_ERROR) return false;
            const bool finished = part.last ? rc == Z_STREAM_END : (z->avail_in == 0 && z->avail_out != 0);
            if (finished) break;
            part.output.resize(part.output.size() * 2);
        }
        part.output.resize(produced);
        return true;
    }

private:
    const int level_;
    RawDeflate deflate_;
    CompressibilityProbe probe_;
};

// A part's bytes as stored deflate blocks of at most 65,535 bytes, each a
// head of five bytes on a byte boundary (the block type, the final-block bit
// on the last part's last block, the length and its complement) and the
// bytes themselves, passed to emit without a copy. Every part ends on a byte
// boundary, so a stored part may follow any other.
template <class EmitBytes>
bool StoredBlocks(const std::vector<uint8_t>& input, bool last, EmitBytes emit) {
    size_t at = 0;
    do {
        const size_t n = std::min<size_t>(input.size() - at, 65535);
        const bool final = last && at + n == input.size();
        const uint8_t head[5] = {static_cast<uint8_t>(final ? 1 : 0), static_cast<uint8_t>(n),
                                 static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(~n), static_cast<uint8_t>(~n >> 8)};
        if (!emit(head, sizeof head) || !emit(input.data() + at, n)) return false;
        at += n;
    } while (at < input.size());
    return true;
}

}  // namespace

struct ParallelGzipWriter::State {
    Sink sink;
    unsigned threads;
    size_t partSize;
    int level;
    size_t maxInFlight;

    std::vector<uint8_t> filling;   // the part being filled by Write
    std::vector<uint8_t> tail;      // last 32 KiB of the input before `filling`
    std::deque<std::shared_ptr<Part>> inFlight;  // submitted, in input order
    std::deque<std::shared_ptr<Part>> queue;     // waiting for a worker
    std::vector<std::thread> workers;
    std::mutex mutex;
    std::condition_variable workReady, partDone;
    bool stopping = false;
    std::unique_ptr<PartDeflater> inline_;  // for work done on the calling thread

    std::vector<uint8_t> header = PayloadGzipHeader(nullptr);
    bool headerWritten = false;
    bool failed = false;
    bool finished = false;
    uLong crc = 0;
    uint64_t inputLength = 0;
    uint64_t outputLength = 0;
    uint64_t storedLength = 0;

    ~State() {
        if (!filling.empty()) plat::SecureZero(filling.data(), filling.size());
        if (!tail.empty()) plat::SecureZero(tail.data(), tail.size());
    }

    bool Emit(const uint8_t* data, size_t size) {
        if (size == 0) return true;
        if (!sink(data, size)) return false;
        outputLength += size;
        return true;
    }

    void WorkerLoop() {
        PartDeflater deflater(level);
        for (;;) {
            std::shared_ptr<Part> part;
            {
                std::unique_lock<std::mutex> lock(mutex);
                workReady.wait(lock, [&] { return stopping || !queue.empty(); });
                if (queue.empty()) return;
                part = queue.front();
                queue.pop_front();
            }
            bool ok = false;
            try {
                ok = deflater.Compress(*part);
            } catch (const std::bad_alloc&) {
                ok = false;
            }
            {
                std::lock_guard<std::mutex> lock(mutex);
                part->ok = ok;
                part->done = true;
            }
            partDone.notify_all();
        }
    }

    // False when no worker thread could be started.
    bool StartWorkers() {
        if (workers.empty()) {
            try {
                for (unsigned i = 0; i < threads; ++i) workers.emplace_back([this] { WorkerLoop(); });
            } catch (const std::system_error&) {
                // Work on with the threads that did start, or on this one.
            }
        }
        return !workers.empty();
    }

    void StopWorkers() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
            queue.clear();
        }
        workReady.notify_all();
        for (auto& t : workers) t.join();
        workers.clear();
    }

    // Adds a compressed part to the stream's check and counts and writes
    // its blocks.
    bool EmitPart(const Part& part) {
        crc = crc32_combine(crc, part.crc, static_cast<z_off_t>(part.input.size()));
        if (!part.stored) return Emit(part.output.data(), part.output.size());
        storedLength += part.input.size();
        return StoredBlocks(part.input, part.last, [this](const uint8_t* data, size_t size) { return Emit(data, size); });
    }

    // Writes the oldest submitted part once its worker is done.
    bool EmitOldest() {
        std::shared_ptr<Part> part = inFlight.front();
        {
            std::unique_lock<std::mutex> lock(mutex);
            partDone.wait(lock, [&] { return part->done; });
        }
        inFlight.pop_front();
        return part->ok && EmitPart(*part);
    }

    std::shared_ptr<Part> MakePart(bool last) {
        auto part = std::make_shared<Part>();
        part->input.swap(filling);
        part->dictionary = tail;
        part->last = last;
        // The next part's dictionary: the end of everything so far.
        const std::vector<uint8_t>& in = part->input;
        if (in.size() >= kWindow) {
            tail.assign(in.end() - static_cast<std::ptrdiff_t>(kWindow), in.end());
        } else {
            tail.insert(tail.end(), in.begin(), in.end());
            if (tail.size() > kWindow) tail.erase(tail.begin(), tail.end() - static_cast<std::ptrdiff_t>(kWindow));
        }
        return part;
    }

    bool Submit(bool last) {
        if (!headerWritten) {
            if (!Emit(header.data(), header.size())) return false;
            headerWritten = true;
        }
        std::shared_ptr<Part> part = MakePart(last);
        // The whole input in one part: no thread is worth starting.
        if ((last && inFlight.empty()) || !StartWorkers()) {
            if (!inline_) inline_.reset(new PartDeflater(level));
            return inline_->Compress(*part) && EmitPart(*part);
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            queue.push_back(part);
        }
        workReady.notify_one();
        inFlight.push_back(part);
        while (inFlight.size() > maxInFlight || (last && !inFlight.empty()))
            if (!EmitOldest()) return false;
        return true;
    }
};

ParallelGzipWriter::ParallelGzipWriter(Sink sink, unsigned threads, size_t partSize, int level)
    : state_(new State) {
    State& s = *state_;
    s.sink = std::move(sink);
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    s.threads = threads;
    s.partSize = std::max(partSize, kWindow);
    s.level = level;
    s.maxInFlight = 2 * static_cast<size_t>(threads);
    s.filling.reserve(s.partSize);
}

ParallelGzipWriter::~ParallelGzipWriter() { state_->StopWorkers(); }

void ParallelGzipWriter::SetStamp(const plat::FileStamp& stamp) {
    if (!state_->headerWritten) state_->header = PayloadGzipHeader(&stamp);
}

bool ParallelGzipWriter::Write(const void* data, size_t size) {
    State& s = *state_;
    if (s.failed || s.finished) return false;
    const auto* p = static_cast<const uint8_t*>(data);
    try {
        while (size > 0) {
            if (s.filling.size() == s.partSize) {
                if (!s.Submit(false)) {
                    s.failed = true;
                    return false;
                }
                s.filling.reserve(s.partSize);
            }
            const size_t n = std::min(size, s.partSize - s.filling.size());
            s.filling.insert(s.filling.end(), p, p + n);
            s.inputLength += n;
            p += n;
            size -= n;
        }
    } catch (const std::exception&) {
        s.failed = true;
        return false;
    }
    return true;
}

bool ParallelGzipWriter::Finish() {
    State& s = *state_;
    if (s.failed || s.finished) return false;
    s.finished = true;
    bool ok = false;
    try {
        ok = s.Submit(true);
    } catch (const std::exception&) {
        ok = false;
    }
    s.StopWorkers();
    if (ok) {
        uint8_t trailer[8];
        const uint32_t length = static_cast<uint32_t>(s.inputLength);
        for (int i = 0; i < 4; ++i) {
            trailer[i] = static_cast<uint8_t>(s.crc >> (8 * i));
            trailer[4 + i] = static_cast<uint8_t>(length >> (8 * i));
        }
        ok = s.Emit(trailer, sizeof trailer);
    }
    s.failed = !ok;
    return ok;
}

namespace {

class ParallelCompressor final : public ByteSink {
public:
    ParallelCompressor(ByteSink* next, const plat::FileStamp* stamp)
        : next_(next), writer_([next](const uint8_t* data, size_t size) { return next->Write(data, size); }) {
        if (stamp) writer_.SetStamp(*stamp);
    }
    bool Write(const uint8_t* data, size_t size) override { return writer_.Write(data, size); }
    bool Finish() override { return writer_.Finish() && next_->Finish(); }

private:
    ByteSink* next_;
    ParallelGzipWriter writer_;
};

}  // namespace

std::unique_ptr<ByteSink> MakeParallelCompressor(ByteSink* next, const plat::FileStamp* stamp) {
    return std::unique_ptr<ByteSink>(new ParallelCompressor(next, stamp));
}

uint64_t ParallelGzipWriter::InputLength() const { return state_->inputLength; }
uint64_t ParallelGzipWriter::OutputLength() const { return state_->outputLength; }
uint64_t ParallelGzipWriter::StoredLength() const { return state_->storedLength; }

}  // namespace corva
