#include "GZip.h"

#include <zlib.h>

#include <cstring>
#include <vector>

#include "LittleEndian.h"
#include "Progress.h"
#include "SafeOutput.h"

namespace zlib {

namespace {
constexpr size_t kBufferSize = 64 * 1024;
constexpr int kOsCode = 0x0B;  // the operating-system byte of every payload
}  // namespace

struct CGZip::Stream {
    z_stream z{};
    gz_header header{};
    std::vector<unsigned char> buffer = std::vector<unsigned char>(kBufferSize);
    bool initialised = false;
};

CGZip::CGZip() = default;

CGZip::~CGZip() {
    if (IsOpen()) Close();
}

void CGZip::Reset() {
    if (m_pStream) {
        if (m_pStream->initialised) {
            if (m_nMode == kWrite)
                deflateEnd(&m_pStream->z);
            else
                inflateEnd(&m_pStream->z);
        }
        delete m_pStream;
        m_pStream = nullptr;
    }
    SetMode(kClosed);
}

bool CGZip::Open(const std::wstring& path, int mode) {
    if (IsOpen()) return false;
    m_bEnd = false;
    m_bFailed = false;
    m_nLength = 0;
    m_nConsumed = 0;
    if (mode == kWrite) {
        if (!m_file.Open(path, plat::File::Mode::CreateAlways)) return false;
        m_pStream = new Stream;
        if (deflateInit2(&m_pStream->z, m_nLevel, Z_DEFLATED, 15 + 16, 8, m_nStrategy) != Z_OK) {
            delete m_pStream;
            m_pStream = nullptr;
            m_file.Close();
            plat::RemoveFile(path);
            return false;
        }
        m_pStream->initialised = true;
        m_pStream->header.os = kOsCode;
        m_pStream->header.time = 0;
        deflateSetHeader(&m_pStream->z, &m_pStream->header);
        m_pStream->z.next_out = m_pStream->buffer.data();
        m_pStream->z.avail_out = static_cast<uInt>(m_pStream->buffer.size());
        SetMode(kWrite);
        SetParams();
        return true;
    }
    if (mode == kRead) {
        // The gzip file must exist and be writable by the caller.
        if (!plat::FileSize(path, &m_nLength) || plat::IsReadOnly(path)) return false;
        if (!m_file.Open(path, plat::File::Mode::Read)) return false;
        m_pStream = new Stream;
        if (inflateInit2(&m_pStream->z, 15 + 16) != Z_OK) {
            delete m_pStream;
            m_pStream = nullptr;
            m_file.Close();
            return false;
        }
        m_pStream->initialised = true;
        SetMode(kRead);
        return true;
    }
    return false;
}

bool CGZip::SetParams() {
    if (m_nMode != kWrite) return false;
    return deflateParams(&m_pStream->z, m_nLevel, m_nStrategy) == Z_OK;
}

bool CGZip::Deflate(int flush) {
    z_stream& z = m_pStream->z;
    for (;;) {
        int rc = deflate(&z, flush);
        if (rc == Z_STREAM_ERROR) return false;
        if (z.avail_out == 0 || (flush == Z_FINISH && z.avail_out < m_pStream->buffer.size())) {
            size_t have = m_pStream->buffer.size() - z.avail_out;
            if (!m_file.Write(m_pStream->buffer.data(), have)) return false;
            z.next_out = m_pStream->buffer.data();
            z.avail_out = static_cast<uInt>(m_pStream->buffer.size());
        }
        if (flush == Z_FINISH) {
            if (rc == Z_STREAM_END) return true;
        } else if (z.avail_in == 0 && z.avail_out != 0) {
            return true;
        }
    }
}

bool CGZip::Write(const void* buffer, size_t length) {
    if (m_nMode != kWrite || m_bFailed) return false;
    const auto* p = static_cast<const unsigned char*>(buffer);
    while (length > 0) {
        uInt chunk = length > 0x40000000u ? 0x40000000u : static_cast<uInt>(length);
        m_pStream->z.next_in = const_cast<Bytef*>(p);
        m_pStream->z.avail_in = chunk;
        if (!Deflate(Z_NO_FLUSH)) {
            m_bFailed = true;
            return false;
        }
        p += chunk;
        length -= chunk;
    }
    return true;
}

bool CGZip::WriteString(const char* text) { return Write(text, std::strlen(text)); }

bool CGZip::FillInput() {
    z_stream& z = m_pStream->z;
    unsigned char* base = m_pStream->buffer.data();
    const size_t keep = z.avail_in;
    if (keep > 0 && z.next_in != base) std::memmove(base, z.next_in, keep);
    size_t got = 0;
    if (!m_file.Read(base + keep, m_pStream->buffer.size() - keep, &got)) return false;
    z.next_in = base;
    z.avail_in = static_cast<uInt>(keep + got);
    m_nConsumed += static_cast<int64_t>(got);
    return true;
}

size_t CGZip::Read(void* buffer, size_t capacity) {
    if (m_nMode != kRead || m_bEnd || m_bFailed || capacity == 0) return 0;
    z_stream& z = m_pStream->z;
    if (capacity > 0x40000000u) capacity = 0x40000000u;
    z.next_out = static_cast<Bytef*>(buffer);
    z.avail_out = static_cast<uInt>(capacity);
    while (z.avail_out > 0) {
        if (z.avail_in == 0) {
            if (!FillInput()) {
                m_bFailed = true;
                break;
            }
            if (z.avail_in == 0) {  // the file ended inside the stream
                m_bFailed = true;
                break;
            }
        }
        int rc = inflate(&z, Z_NO_FLUSH);
        if (rc == Z_STREAM_END) {
            // Another gzip member may follow, beginning anywhere in the
            // buffer (its magic may be split across two reads); anything
            // else after the trailer is ignored, as zlib's gzip reader does.
            if (z.avail_in < 2) {
                const uInt before = z.avail_in;
                if (!FillInput()) {
                    m_bFailed = true;
                    break;
                }
                if (z.avail_in == before) {  // the end of the file
                    m_bEnd = true;
                    break;
                }
                if (z.avail_in < 2) continue;  // short read: ask again
            }
            if (z.next_in[0] == 0x1F && z.next_in[1] == 0x8B) {
                inflateReset(&z);
                continue;
            }
            m_bEnd = true;
            break;
        }
        if (rc != Z_OK && rc != Z_BUF_ERROR) {
            m_bFailed = true;  // not gzip, damaged data, CRC or length mismatch
            break;
        }
    }
    return capacity - z.avail_out;
}

bool CGZip::ReadAll(unsigned char** buffer, size_t* length) {
    *buffer = nullptr;
    *length = 0;
    if (m_nMode != kRead) return false;
    std::vector<unsigned char> all;
    std::vector<unsigned char> chunk(kBufferSize);
    for (;;) {
        size_t n = Read(chunk.data(), chunk.size());
        all.insert(all.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
        if (n == 0) break;
    }
    if (m_bFailed || !m_bEnd) return false;
    *buffer = new unsigned char[all.size() + 1];
    if (!all.empty()) std::memcpy(*buffer, all.data(), all.size());
    (*buffer)[all.size()] = 0;
    *length = all.size();
    return true;
}

bool CGZip::Close() {
    if (!IsOpen()) return false;
    bool ok = true;
    if (m_nMode == kWrite) {
        m_pStream->z.next_in = nullptr;
        m_pStream->z.avail_in = 0;
        ok = !m_bFailed && Deflate(Z_FINISH);
        ok = m_file.Flush() && ok;
    }
    ok = m_file.Close() && ok;
    Reset();
    return ok;
}

}  // namespace zlib

bool CompressFile(const std::wstring& source, const std::wstring& gzipPath) {
    plat::File in;
    int64_t total = 0;
    if (!in.Open(source, plat::File::Mode::Read) || !in.Size(&total)) return false;
    zlib::CGZip gz;
    if (!gz.Open(gzipPath, zlib::CGZip::kWrite)) return false;
    int64_t done = 0;
    bool ok = true;
    std::vector<unsigned char> chunk(64 * 1024);
    for (;;) {
        size_t got = 0;
        if (!in.Read(chunk.data(), chunk.size(), &got)) {
            ok = false;
            break;
        }
        if (got == 0) break;
        done += static_cast<int64_t>(got);
        corva::ReportProgress("compress", static_cast<uint64_t>(done), static_cast<uint64_t>(total));
        if (!gz.Write(chunk.data(), got)) {
            ok = false;
            break;
        }
    }
    plat::SecureZero(chunk.data(), chunk.size());
    // The end of the file is where its length says: a read that ends
    // sooner (or a file that changed meanwhile) would make a shorter stream
    // that passes every check.
    int64_t after = 0;
    ok = ok && done == total && in.Size(&after) && after == total;
    ok = gz.Close() && ok;
    if (!ok) plat::RemoveFile(gzipPath);
    return ok;
}

bool DecompressFile(const std::wstring& gzipPath, const std::wstring& destination) {
    zlib::CGZip gz;
    if (!gz.Open(gzipPath, zlib::CGZip::kRead)) return false;
    corva::SafeOutput out;
    if (!out.Open(destination, true)) return false;
    std::vector<unsigned char> chunk(64 * 1024);
    for (;;) {
        size_t n = gz.Read(chunk.data(), chunk.size());
        if (n == 0) break;
        if (!out.File().Write(chunk.data(), n)) return false;
        corva::ReportProgress("decompress", static_cast<uint64_t>(gz.ConsumedLength()),
                              static_cast<uint64_t>(gz.CompressedLength()));
    }
    if (gz.Failed() || !gz.AtEnd()) return false;
    return out.Commit(true);
}

namespace corva {

namespace {

constexpr size_t kStageBuffer = 64 * 1024;
constexpr uint8_t kPayloadOs = 0x0B;  // the operating-system byte of every payload
constexpr uint8_t kFlagExtra = 0x04;  // FLG.FEXTRA
constexpr uint32_t kModifiedKnown = 1, kCreatedKnown = 2;

// A time of the subfield, when its nanoseconds are in range.
bool ReadTime(const uint8_t* p, plat::FileTime* t) {
    const uint32_t nanoseconds = static_cast<uint32_t>(GetLe(p + 8, 4));
    if (nanoseconds >= 1000000000u) return false;
    t->seconds = static_cast<int64_t>(GetLe(p, 8));
    t->nanoseconds = nanoseconds;
    return true;
}

}  // namespace

uint32_t StampMtime(const plat::FileStamp& stamp) {
    if (!stamp.modifiedKnown || stamp.modified.seconds <= 0 || stamp.modified.seconds > 0xFFFFFFFFll) return 0;
    return static_cast<uint32_t>(stamp.modified.seconds);
}

std::vector<uint8_t> StampExtraField(const plat::FileStamp& stamp) {
    std::vector<uint8_t> field(4 + kStampFieldSize, 0);
    field[0] = kStampFieldId[0];
    field[1] = kStampFieldId[1];
    PutLe(&field[2], kStampFieldSize, 2);
    uint8_t* d = &field[4];
    PutLe(d + 0, stamp.attributes & stamp.attributesKnown, 4);
    PutLe(d + 4, stamp.attributesKnown, 4);
    PutLe(d + 8, (stamp.modifiedKnown ? kModifiedKnown : 0) | (stamp.createdKnown ? kCreatedKnown : 0), 4);
    if (stamp.modifiedKnown) {
        PutLe(d + 12, static_cast<uint64_t>(stamp.modified.seconds), 8);
        PutLe(d + 20, stamp.modified.nanoseconds, 4);
    }
    if (stamp.createdKnown) {
        PutLe(d + 24, static_cast<uint64_t>(stamp.created.seconds), 8);
        PutLe(d + 32, stamp.created.nanoseconds, 4);
    }
    return field;
}

bool ParseStampExtraField(const uint8_t* extra, size_t size, plat::FileStamp* stamp) {
    size_t at = 0;
    while (size - at >= 4) {
        const size_t length = static_cast<size_t>(GetLe(extra + at + 2, 2));
        if (length > size - at - 4) return false;  // overruns the field: nothing in it is trusted
        const uint8_t* d = extra + at + 4;
        if (extra[at] == kStampFieldId[0] && extra[at + 1] == kStampFieldId[1] && length == kStampFieldSize) {
            plat::FileStamp found;
            found.attributesKnown = static_cast<uint32_t>(GetLe(d + 4, 4));
            found.attributes = static_cast<uint32_t>(GetLe(d, 4)) & found.attributesKnown;
            const uint32_t times = static_cast<uint32_t>(GetLe(d + 8, 4));
            found.modifiedKnown = (times & kModifiedKnown) && ReadTime(d + 12, &found.modified);
            found.createdKnown = (times & kCreatedKnown) && ReadTime(d + 24, &found.created);
            *stamp = found;
            return true;
        }
        at += 4 + length;
    }
    return false;
}

std::vector<uint8_t> PayloadGzipHeader(const plat::FileStamp* stamp) {
    std::vector<uint8_t> header = {0x1F, 0x8B, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, kPayloadOs};
    if (!stamp) return header;
    header[3] = kFlagExtra;
    PutLe(&header[4], StampMtime(*stamp), 4);
    const std::vector<uint8_t> extra = StampExtraField(*stamp);
    header.push_back(static_cast<uint8_t>(extra.size()));
    header.push_back(static_cast<uint8_t>(extra.size() >> 8));
    header.insert(header.end(), extra.begin(), extra.end());
    return header;
}

namespace {

class Compressor final : public ByteSink {
public:
    Compressor(ByteSink* next, const plat::FileStamp* stamp) : next_(next), out_(kStageBuffer) {
        ready_ = deflateInit2(&z_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) == Z_OK;
        if (ready_) {
            header_.os = kPayloadOs;
            header_.time = 0;
            if (stamp) {
                // zlib writes FLG.FEXTRA, MTIME and XLEN as PayloadGzipHeader does.
                extra_ = StampExtraField(*stamp);
                header_.time = StampMtime(*stamp);
                header_.extra = extra_.data();
                header_.extra_len = static_cast<uInt>(extra_.size());
            }
            ready_ = deflateSetHeader(&z_, &header_) == Z_OK;
        }
    }
    ~Compressor() override {
        deflateEnd(&z_);
        plat::SecureZero(out_.data(), out_.size());
    }
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;

    bool Write(const uint8_t* data, size_t size) override {
        while (size > 0) {
            const uInt chunk = size > 0x40000000u ? 0x40000000u : static_cast<uInt>(size);
            if (!Run(data, chunk, Z_NO_FLUSH)) return false;
            data += chunk;
            size -= chunk;
        }
        return true;
    }

    bool Finish() override { return Run(nullptr, 0, Z_FINISH) && next_->Finish(); }

private:
    bool Run(const uint8_t* data, uInt size, int flush) {
        if (!ready_) return false;
        z_.next_in = const_cast<Bytef*>(data);
        z_.avail_in = size;
        for (;;) {
            z_.next_out = out_.data();
            z_.avail_out = static_cast<uInt>(out_.size());
            const int rc = deflate(&z_, flush);
            if (rc == Z_STREAM_ERROR) return ready_ = false;
            const size_t have = out_.size() - z_.avail_out;
            if (have > 0 && !next_->Write(out_.data(), have)) return ready_ = false;
            if (flush == Z_FINISH ? rc == Z_STREAM_END : (z_.avail_in == 0 && z_.avail_out != 0)) return true;
        }
    }

    ByteSink* next_;
    z_stream z_{};
    gz_header header_{};
    std::vector<uint8_t> extra_;
    std::vector<uint8_t> out_;
    bool ready_ = false;
};

}  // namespace

std::unique_ptr<ByteSink> MakeCompressor(ByteSink* next, const plat::FileStamp* stamp) {
    return std::unique_ptr<ByteSink>(new Compressor(next, stamp));
}

struct Decompressor::State {
    z_stream z{};
    std::vector<uint8_t> out = std::vector<uint8_t>(kStageBuffer);
    // The first member's header; zlib keeps at most extra.size() bytes of
    // its extra field.
    gz_header head{};
    std::vector<uint8_t> extra = std::vector<uint8_t>(1024);
    bool ready = false;
};

Decompressor::Decompressor(ByteSink* next) : state_(new State), next_(next) {
    state_->ready = inflateInit2(&state_->z, 15 + 16) == Z_OK;
    if (state_->ready) {
        state_->head.extra = state_->extra.data();
        state_->head.extra_max = static_cast<uInt>(state_->extra.size());
        state_->ready = inflateGetHeader(&state_->z, &state_->head) == Z_OK;
    }
    failed_ = !state_->ready;
}

Decompressor::~Decompressor() {
    if (state_->ready) inflateEnd(&state_->z);
    plat::SecureZero(state_->out.data(), state_->out.size());
    delete state_;
}

bool Decompressor::Write(const uint8_t* data, size_t size) {
    if (failed_) return false;
    z_stream& z = state_->z;
    while (size > 0) {
        const uInt chunk = size > 0x40000000u ? 0x40000000u : static_cast<uInt>(size);
        z.next_in = const_cast<Bytef*>(data);
        z.avail_in = chunk;
        data += chunk;
        size -= chunk;
        bool outputFull = false;
        while (z.avail_in > 0 || outputFull) {
            if (betweenMembers_) {
                if (z.avail_in == 0) break;
                // Whatever follows a member must be another member.
                inflateReset(&z);
                betweenMembers_ = false;
            }
            z.next_out = state_->out.data();
            z.avail_out = static_cast<uInt>(state_->out.size());
            const int rc = inflate(&z, Z_NO_FLUSH);
            const size_t have = state_->out.size() - z.avail_out;
            outputFull = z.avail_out == 0;
            if (have > 0 && !next_->Write(state_->out.data(), have)) {
                failed_ = true;
                return false;
            }
            if (rc == Z_STREAM_END) {
                if (members_ == 0) ReadStamp();
                ++members_;
                betweenMembers_ = true;
                outputFull = false;
            } else if (rc == Z_BUF_ERROR) {
                break;  // needs more input
            } else if (rc != Z_OK) {
                damaged_ = failed_ = true;  // not gzip, damaged, CRC or length wrong
                return false;
            }
        }
    }
    return true;
}

void Decompressor::ReadStamp() {
    const gz_header& head = state_->head;
    // zlib leaves extra null when the member has no extra field.
    if (head.done != 1 || head.extra == Z_NULL) return;
    const size_t size = head.extra_len < head.extra_max ? head.extra_len : head.extra_max;
    ParseStampExtraField(state_->extra.data(), size, &stamp_);
}

bool Decompressor::Finish() {
    if (failed_) return false;
    if (!betweenMembers_ || members_ == 0) {
        damaged_ = failed_ = true;  // the stream stops inside a member
        return false;
    }
    if (!next_->Finish()) {
        failed_ = true;
        return false;
    }
    return true;
}

}  // namespace corva
