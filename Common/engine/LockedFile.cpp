#include "LockedFile.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "Crypto.h"
#include "GZip.h"
#include "ParallelGzip.h"
#include "Progress.h"
#include "StageThread.h"
#include "Stream.h"
#include "log/FileLog.h"
#include "platform/Platform.h"

namespace corva {

const wchar_t kLockedExtension[] = L".corvastine";

namespace {

constexpr size_t kChunk = 1024 * 1024;  // a whole number of cipher blocks
// From this body length on, deciphering and inflating run on two threads.
constexpr uint64_t kThreadedBody = 4 * kChunk;

std::string Narrow(const wchar_t* path) { return plat::WideToNarrow(path ? path : L""); }
std::string Narrow(const std::wstring& path) { return plat::WideToNarrow(path); }

void PutLe(uint8_t* p, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint64_t GetLe(const uint8_t* p, int bytes) {
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

// Keys derived from the password that live on the stack of one call.
struct Key32 {
    uint8_t bytes[kDigestSize];
    ~Key32() { plat::SecureZero(bytes, sizeof bytes); }
};

void HeaderKey(const char* password, const LockedFileHeader& h, Key32* kh) {
    Key32 stretched;
    StretchSecret(password, h.salt, stretched.bytes);
    PadDigest(stretched.bytes, kh->bytes);
}

// The two keys of a locked file: Kh seals the header token, K0 seeds the body.
struct FileKeys {
    Key32 header;
    Key32 body;
};

// Keys known from writing a locked file, with the header they belong to: the
// read-back uses them only when the header on disk is exactly that one
// (otherwise keys derived from the disk's salt and digest could differ).
struct WrittenKeys {
    const FileKeys* keys;
    uint8_t header[kHeaderSize];
};

// Both keys of an existing header. The two stretches are independent, so
// they run together.
void DeriveFileKeys(const char* password, const LockedFileHeader& h, FileKeys* keys) {
    Key32 stretched;
    StretchSecretPair(password, h.salt, stretched.bytes, h.sealedDigest, keys->body.bytes);
    PadDigest(stretched.bytes, keys->header.bytes);
}

// True when the sealed token opens under kh to a value whose SHA-256 is the
// sealed digest.
bool HeaderMatchesKey(const Key32& kh, const LockedFileHeader& h) {
    uint8_t token[32], digest[32], expected[32], chain[kAesBlock];
    std::memcpy(token, h.sealedToken, 32);
    std::memcpy(digest, h.sealedDigest, 32);
    std::memcpy(chain, h.iv, kAesBlock);
    AesCbc256(kh.bytes, chain, token, 32, false);
    std::memcpy(chain, h.iv, kAesBlock);
    AesCbc256(kh.bytes, chain, digest, 32, false);
    Sha256(token, 32, expected);
    bool match = std::memcmp(expected, digest, 32) == 0;
    plat::SecureZero(token, sizeof token);
    return match;
}

// Body length in bytes for a payload: floor(L/16) + 1 blocks.
uint64_t BodyBytesFor(uint64_t payloadSize) { return (payloadSize / kAesBlock + 1) * kAesBlock; }

// Writes whatever reaches it into an open file.
class FileSink final : public ByteSink {
public:
    explicit FileSink(plat::File& file) : file_(file) {}
    bool Write(const uint8_t* data, size_t size) override {
        if (failed_ || !file_.Write(data, size)) return !(failed_ = true);
        return true;
    }
    bool Finish() override { return !failed_; }
    bool Failed() const { return failed_; }

private:
    plat::File& file_;
    bool failed_ = false;
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
    EncipherSink(plat::File& out, const uint8_t seed[kDigestSize], const uint8_t iv[kAesBlock], uint64_t expected)
        : out_(out), cipher_(seed, iv, true), chunk_(ChunkFor(expected)), buffer_(chunk_ + kAesBlock) {}
    ~EncipherSink() override { plat::SecureZero(buffer_.data(), buffer_.size()); }
    EncipherSink(const EncipherSink&) = delete;
    EncipherSink& operator=(const EncipherSink&) = delete;

    bool Write(const uint8_t* data, size_t size) override {
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

    bool Finish() override {
        if (failed_) return false;
        const size_t blocks = held_ / kAesBlock + 1;
        std::memset(buffer_.data() + held_, 0, blocks * kAesBlock - held_);
        return Flush(blocks);
    }

    uint64_t PayloadSize() const { return payload_; }
    bool Failed() const { return failed_; }

private:
    // A whole number of cipher blocks, from 4 KiB to kChunk; a payload
    // longer than expected only takes more rounds through the buffer.
    static size_t ChunkFor(uint64_t expected) {
        const uint64_t wanted = (expected + 64 + kAesBlock - 1) / kAesBlock * kAesBlock;
        return static_cast<size_t>(std::max<uint64_t>(4096, std::min<uint64_t>(wanted, kChunk)));
    }

    bool Flush(size_t blocks) {
        cipher_.Process(buffer_.data(), blocks);
        held_ = 0;
        if (!out_.Write(buffer_.data(), blocks * kAesBlock)) failed_ = true;
        return !failed_;
    }

    plat::File& out_;
    BodyCipher cipher_;
    const size_t chunk_;
    std::vector<uint8_t> buffer_;
    size_t held_ = 0;
    uint64_t payload_ = 0;
    bool failed_ = false;
};

// Reads the body from the current position of in (just past the header),
// deciphers it and hands exactly payloadSize bytes to sink. The body must
// hold exactly the blocks the payload size calls for.
// True when the run was asked to stop.
bool StopAsked(const PipelineControl* control) { return control && control->stopRequested && control->stopRequested(); }

enum class BodyResult { Ok, ReadFailed, Short, SinkFailed, Stopped };
BodyResult DecipherBody(const Key32& k0, const LockedFileHeader& h, plat::File& in, ByteSink* sink,
                        const char* stage, const PipelineControl* control = nullptr) {
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

// Reads the header of an open locked file and checks its shape: magic,
// version, length. kOk or kNotLockedFile.
int ReadHeader(plat::File& in, LockedFileHeader* h, int64_t* size, uint8_t raw[kHeaderSize]) {
    size_t got = 0;
    if (!in.Size(size) || !in.Seek(0) || !in.ReadFull(raw, kHeaderSize, &got) || got != kHeaderSize)
        return kNotLockedFile;
    ParseHeader(raw, h);
    if (h->magic != kLockedMagic || h->version >= 2 || *size < static_cast<int64_t>(kHeaderSize) || *size % 16 != 12)
        return kNotLockedFile;
    return kOk;
}

// The one reader of locked files, for unlocking and verifying alike: the
// header, the password, the body length, every block deciphered and the
// payload inflated into sink with every gzip member checked. known: the keys
// already derived for this very header (the read-back after locking), or
// nullptr to derive them from the password.
int ReadLockedFile(const char* password, const WrittenKeys* known, plat::File& in, ByteSink* sink,
                   const wchar_t* name, FileLog* log, const char* stage, const PipelineControl* control = nullptr) {
    LockedFileHeader h;
    int64_t size = 0;
    uint8_t raw[kHeaderSize];
    int rc = ReadHeader(in, &h, &size, raw);
    if (rc != kOk) return rc;
    if (known && std::memcmp(raw, known->header, kHeaderSize) != 0) {
        LogTo(log, kLogError, "[decryptfile] the header of %s differs from the one written.", Narrow(name).c_str());
        return kDamagedPayload;
    }
    FileKeys derived;
    if (!known) DeriveFileKeys(password, h, &derived);
    const FileKeys& keys = known ? *known->keys : derived;
    if (!HeaderMatchesKey(keys.header, h)) {
        LogTo(log, kLogWarn, "[decryptfile] password does not match %s.", Narrow(name).c_str());
        return kWrongPassword;
    }
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
            LogTo(log, kLogError, "[decryptfile] when read %s, a file io error occurs.", Narrow(name).c_str());
            return kIoFailure;
        case BodyResult::Short: return kSizeMismatch;
        case BodyResult::SinkFailed:
            ahead.reset();  // the inflater's thread has ended before it is asked
            return inflater.Damaged() ? kDamagedPayload : kIoFailure;
    }
    const bool finished = first->Finish();
    ahead.reset();
    if (!finished) return inflater.Damaged() ? kDamagedPayload : kIoFailure;
    return kOk;
}

void (*g_beforeVerifyHook)(plat::File& lockedCopy) = nullptr;

// Deletes a file that the operation has replaced by its other form; a
// read-only file has the attribute cleared first (and set again when the
// delete still fails).
bool RemoveReplaced(const std::wstring& path, plat::IoError* error) {
    if (plat::RemoveFile(path)) return true;
    *error = plat::LastIoError();
    if (!plat::IsReadOnly(path) || !plat::SetReadOnly(path, false)) return false;
    if (plat::RemoveFile(path)) return true;
    *error = plat::LastIoError();
    plat::SetReadOnly(path, true);
    return false;
}

// Notes the system's cause of a failure for the caller, when it asked.
int Failed(PipelineControl* control, int result, plat::IoError cause) {
    if (control) control->cause = cause == plat::IoError::None ? plat::IoError::Io : cause;
    return result;
}

}  // namespace

void SerializeHeader(const LockedFileHeader& h, uint8_t out[kHeaderSize]) {
    PutLe(out + 0, h.magic, 2);
    PutLe(out + 2, h.version, 2);
    std::memcpy(out + 4, h.salt, 32);
    std::memcpy(out + 36, h.sealedToken, 32);
    std::memcpy(out + 68, h.sealedDigest, 32);
    std::memcpy(out + 100, h.iv, 64);
    PutLe(out + 164, h.payloadSize, 8);
}

void ParseHeader(const uint8_t in[kHeaderSize], LockedFileHeader* h) {
    h->magic = static_cast<uint16_t>(GetLe(in + 0, 2));
    h->version = static_cast<uint16_t>(GetLe(in + 2, 2));
    std::memcpy(h->salt, in + 4, 32);
    std::memcpy(h->sealedToken, in + 36, 32);
    std::memcpy(h->sealedDigest, in + 68, 32);
    std::memcpy(h->iv, in + 100, 64);
    h->payloadSize = GetLe(in + 164, 8);
}

namespace {

// Magic, version, salt, token T, IV, payload size and SHA-256(T), not yet
// sealed.
void FillHeader(uint64_t payloadSize, const uint8_t salt[32], const uint8_t token[32], const uint8_t iv[64],
                LockedFileHeader* h) {
    std::memset(h, 0, sizeof *h);
    h->magic = kLockedMagic;
    h->version = kLockedVersion;
    std::memcpy(h->salt, salt, 32);
    std::memcpy(h->sealedToken, token, 32);
    std::memcpy(h->iv, iv, 64);
    h->payloadSize = payloadSize;
    Sha256(h->sealedToken, 32, h->sealedDigest);
}

// The token and its digest enciphered under Kh, each chain starting afresh
// from the IV.
void SealHeader(const Key32& kh, LockedFileHeader* h) {
    uint8_t chain[kAesBlock];
    std::memcpy(chain, h->iv, kAesBlock);
    AesCbc256(kh.bytes, chain, h->sealedToken, 32, true);
    std::memcpy(chain, h->iv, kAesBlock);
    AesCbc256(kh.bytes, chain, h->sealedDigest, 32, true);
}

}  // namespace

void BuildHeaderFrom(const char* password, uint64_t payloadSize, const uint8_t salt[32], const uint8_t token[32],
                     const uint8_t iv[64], LockedFileHeader* h, uint8_t* headerKey) {
    FillHeader(payloadSize, salt, token, iv, h);
    Key32 kh;
    HeaderKey(password, *h, &kh);
    SealHeader(kh, h);
    if (headerKey) std::memcpy(headerKey, kh.bytes, kDigestSize);
}

bool BuildHeader(const char* password, uint64_t payloadSize, LockedFileHeader* h, uint8_t* headerKey) {
    uint8_t salt[32], token[32], iv[64];
    bool ok = RandomBytes(salt, sizeof salt) && RandomBytes(token, sizeof token) && RandomBytes(iv, sizeof iv);
    if (ok) BuildHeaderFrom(password, payloadSize, salt, token, iv, h, headerKey);
    plat::SecureZero(token, sizeof token);
    return ok;
}

bool HeaderMatchesPassword(const char* password, const LockedFileHeader& h) {
    Key32 kh;
    HeaderKey(password, h, &kh);
    return HeaderMatchesKey(kh, h);
}

LockKeySource::LockKeySource(const char* password) : password_(password) {}

LockKeySource::~LockKeySource() {
    plat::SecureZero(headerKey_, sizeof headerKey_);
    plat::SecureZero(bodyKey_, sizeof bodyKey_);
    plat::SecureZero(&header_, sizeof header_);
}

bool LockKeySource::Take(LockedFileHeader* header, uint8_t headerKey[32], uint8_t bodyKey[32]) {
    if (!spare_) {
        uint8_t salt[2][32], token[2][32], iv[2][64];
        bool ok = true;
        for (int i = 0; i < 2 && ok; ++i)
            ok = RandomBytes(salt[i], 32) && RandomBytes(token[i], 32) && RandomBytes(iv[i], 64);
        LockedFileHeader h[2];
        if (ok) {
            FillHeader(0, salt[0], token[0], iv[0], &h[0]);
            FillHeader(0, salt[1], token[1], iv[1], &h[1]);
            // Kh of both, then (as each body seed is the stretch of its
            // sealed digest) both seeds.
            Key32 stretched[2], kh[2], k0[2];
            StretchSecretPair(password_, h[0].salt, stretched[0].bytes, h[1].salt, stretched[1].bytes);
            for (int i = 0; i < 2; ++i) {
                PadDigest(stretched[i].bytes, kh[i].bytes);
                SealHeader(kh[i], &h[i]);
            }
            StretchSecretPair(password_, h[0].sealedDigest, k0[0].bytes, h[1].sealedDigest, k0[1].bytes);
            *header = h[0];
            std::memcpy(headerKey, kh[0].bytes, kDigestSize);
            std::memcpy(bodyKey, k0[0].bytes, kDigestSize);
            header_ = h[1];
            std::memcpy(headerKey_, kh[1].bytes, kDigestSize);
            std::memcpy(bodyKey_, k0[1].bytes, kDigestSize);
            spare_ = true;
        }
        plat::SecureZero(token, sizeof token);
        plat::SecureZero(h, sizeof h);
        return ok;
    }
    *header = header_;
    std::memcpy(headerKey, headerKey_, kDigestSize);
    std::memcpy(bodyKey, bodyKey_, kDigestSize);
    plat::SecureZero(headerKey_, sizeof headerKey_);
    plat::SecureZero(bodyKey_, sizeof bodyKey_);
    spare_ = false;
    return true;
}

int VerifyLockedFile(const char* password, const std::wstring& path, FileLog* log) {
    if (!IsLockedFile(path)) return kNotLockedFile;
    if (!password || !*password) {
        LogTo(log, kLogWarn, "[decryptfile] password is null.");
        return kNoPassword;
    }
    plat::File in;
    if (!in.Open(path, plat::File::Mode::Read)) {
        LogTo(log, kLogWarn, "[decryptfile] open %s failed.", Narrow(path).c_str());
        return kIoFailure;
    }
    NullSink discard;
    return ReadLockedFile(password, nullptr, in, &discard, path.c_str(), log, "verify");
}

namespace {

// "%08lX%04X%04x" and eight "%02X": upper-case hexadecimal but for the
// third group, in lower case.
bool IsGuidText(const std::wstring& t) {
    if (t.size() != 32) return false;
    for (size_t i = 0; i < 32; ++i) {
        const wchar_t c = t[i];
        const bool lower = i >= 12 && i < 16;
        const bool ok = (c >= L'0' && c <= L'9') || (lower ? (c >= L'a' && c <= L'f') : (c >= L'A' && c <= L'F'));
        if (!ok) return false;
    }
    return true;
}

// True when both files can be read and hold the same bytes.
bool SameContents(const std::wstring& a, const std::wstring& b) {
    plat::File fa, fb;
    int64_t na = 0, nb = 0;
    if (!fa.Open(a, plat::File::Mode::Read) || !fb.Open(b, plat::File::Mode::Read)) return false;
    if (!fa.Size(&na) || !fb.Size(&nb) || na != nb) return false;
    std::vector<uint8_t> ba(64 * 1024), bb(64 * 1024);
    for (;;) {
        size_t ga = 0, gb = 0;
        if (!fa.ReadFull(ba.data(), ba.size(), &ga) || !fb.ReadFull(bb.data(), bb.size(), &gb)) return false;
        if (ga != gb || std::memcmp(ba.data(), bb.data(), ga) != 0) return false;
        if (ga < ba.size()) return true;
    }
}

}  // namespace

bool IsStaleTemporary(const std::wstring& path) {
    static const uint8_t kPayloadHeader[10] = {0x1F, 0x8B, 0x08, 0, 0, 0, 0, 0, 0, 0x0B};
    if (path.size() <= 36 || path.compare(path.size() - 4, 4, L".xml") != 0) return false;
    if (!IsGuidText(path.substr(path.size() - 36, 32))) return false;
    // Named after a file beside it, in either of its forms.
    const std::wstring base = path.substr(0, path.size() - 36);
    const size_t n = sizeof(kLockedExtension) / sizeof(wchar_t) - 1;
    auto file = [](const std::wstring& p) { return plat::KindOf(p) == plat::EntryKind::File; };
    if (base.empty() || base.back() == L'/' || base.back() == L'\\') return false;
    if (!file(base) && !file(base + kLockedExtension) &&
        !(HasLockedExtension(base) && file(base.substr(0, base.size() - n))))
        return false;
    if (plat::KindOf(path) != plat::EntryKind::File) return false;
    plat::File f;
    uint8_t head[sizeof kPayloadHeader];
    size_t got = 0;
    if (!f.Open(path, plat::File::Mode::Read) || !f.ReadFull(head, sizeof head, &got)) return false;
    if (got == 0 || (got == sizeof head && std::memcmp(head, kPayloadHeader, sizeof head) == 0)) return true;
    // A whole copy of the file it is named after: what a replacing write
    // leaves when it ends between naming its output and moving it over
    // the file. Redundant, so it may go.
    f.Close();
    return file(base) && SameContents(path, base);
}

int RemoveStaleTemporaries(const std::wstring& folder, const std::vector<std::wstring>& names, FileLog* log) {
    int removed = 0;
    const wchar_t last = folder.empty() ? L'/' : folder.back();
    for (const std::wstring& name : names) {
        const std::wstring path =
            (last == L'/' || last == L'\\') ? folder + name : folder + plat::PathSeparator() + name;
        if (IsStaleTemporary(path) && plat::RemoveFile(path)) {
            LogTo(log, kLogInfo, "[RemoveStaleTemporaries] removed %s.", Narrow(path).c_str());
            ++removed;
        }
    }
    return removed;
}

void SetBeforeVerifyHookForTesting(void (*hook)(plat::File& lockedCopy)) { g_beforeVerifyHook = hook; }

int LockFile(const std::wstring& path, const char* password, FileLog* log, LockKeySource* source,
             PipelineControl* control) {
    switch (plat::KindOf(path)) {
        case plat::EntryKind::Folder: return kOk;
        case plat::EntryKind::File: break;
        case plat::EntryKind::Missing:
            LogTo(log, kLogWarn, "[encryptfile] open %s failed.", Narrow(path).c_str());
            return Failed(control, kIoFailure, plat::ProbeEntry(path));
        default:
            LogTo(log, kLogWarn, "[LockOneFile] %s is not a plain file, left alone.", Narrow(path).c_str());
            return kNotAFile;
    }
    if (!password || !*password) {
        LogTo(log, kLogWarn, "[encryptfile] password is null.");
        return kNoPassword;
    }
    const std::wstring locked = path + kLockedExtension;
    if (plat::PathExists(locked)) {
        LogTo(log, kLogWarn, "[encryptfile] %s already exist.", Narrow(locked).c_str());
        return kDestinationExists;
    }
    plat::File in;
    if (!in.Open(path, plat::File::Mode::Read)) {
        LogTo(log, kLogWarn, "[encryptfile] open %s failed.", Narrow(path).c_str());
        return Failed(control, kIoFailure, in.LastError());
    }
    plat::PendingFile out;
    if (!out.Create(locked)) {
        LogTo(log, kLogWarn, "[encryptfile] open %s failed.", Narrow(locked).c_str());
        return Failed(control, kIoFailure, out.LastError());
    }
    // The header goes first with the payload size still 0; the size is
    // written in once the compressed stream has ended.
    int64_t length = 0;
    LockedFileHeader h;
    uint8_t raw[kHeaderSize];
    FileKeys keys;
    const bool made = source ? source->Take(&h, keys.header.bytes, keys.body.bytes)
                             : BuildHeader(password, 0, &h, keys.header.bytes);
    if (!in.Size(&length) || !made) {
        LogTo(log, kLogError, "[encryptfile] when read %s, an file io error occurs.", Narrow(path).c_str());
        return Failed(control, kIoFailure, in.LastError());
    }
    SerializeHeader(h, raw);
    if (!out.Data().Write(raw, sizeof raw)) {
        LogTo(log, kLogError, "[encryptfile] write %s failed.", Narrow(locked).c_str());
        return Failed(control, kIoFailure, out.Data().LastError());
    }
    // The body key depends on the sealed header: the second stretch follows.
    if (!source) StretchSecret(password, h.sealedDigest, keys.body.bytes);
    // Deflate output is at most a little longer than its input.
    const uint64_t expected = static_cast<uint64_t>(length) + static_cast<uint64_t>(length) / 1000;
    EncipherSink cipher(out.Data(), keys.body.bytes, h.iv, expected);
    std::unique_ptr<ByteSink> compressor = MakeParallelCompressor(&cipher);
    // Reads of at most a megabyte; one byte more than a small file's length
    // still tells its end.
    std::vector<uint8_t> buf(static_cast<uint64_t>(length) < kChunk ? static_cast<size_t>(length) + 1 : kChunk);
    uint64_t total = 0;
    int result = kOk;
    plat::IoError cause = plat::IoError::None;  // of a read failure; a write's is the output's
    for (;;) {
        if (StopAsked(control)) {
            result = kCancelled;
            break;
        }
        size_t got = 0;
        if (!in.ReadFull(buf.data(), buf.size(), &got)) {
            LogTo(log, kLogError, "[encryptfile] when read %s, an file io error occurs.", Narrow(path).c_str());
            result = kIoFailure;
            cause = in.LastError();
            break;
        }
        total += got;
        ReportProgress("compress", total, static_cast<uint64_t>(length));
        if (got > 0 && !compressor->Write(buf.data(), got)) {
            LogTo(log, kLogError, "[encryptfile] write %s failed.", Narrow(locked).c_str());
            result = kIoFailure;
            break;
        }
        if (got < buf.size()) break;
    }
    plat::SecureZero(buf.data(), buf.size());
    // A file whose length changed while it was read is not locked: the
    // stream would hold neither the old nor the new content.
    int64_t after = 0;
    if (result == kOk && (total != static_cast<uint64_t>(length) || !in.Size(&after) || after != length)) {
        LogTo(log, kLogError, "[encryptfile] when read %s, an file io error occurs.", Narrow(path).c_str());
        result = kIoFailure;
        cause = plat::IoError::InUse;  // another program writes to it meanwhile
    }
    if (result == kOk && !compressor->Finish()) {
        LogTo(log, kLogError, "[encryptfile] write %s failed.", Narrow(locked).c_str());
        result = kIoFailure;
    }
    if (result != kOk) {
        compressor.reset();  // its threads have ended: the output's error can be read
        if (result == kCancelled) return kCancelled;
        return Failed(control, result, cause != plat::IoError::None ? cause : out.Data().LastError());
    }
    uint8_t size[8];
    PutLe(size, cipher.PayloadSize(), 8);
    if (!out.Data().Seek(164) || !out.Data().Write(size, sizeof size) || !out.Data().Flush()) {
        LogTo(log, kLogError, "[encryptfile] write %s failed.", Narrow(locked).c_str());
        return Failed(control, kIoFailure, out.Data().LastError());
    }
    // The plain file goes only once its locked copy, flushed, reads back
    // whole: the header token, every block, every gzip member and its check.
    // The keys just used are used again; the header is read from the disk
    // and must open with them.
    if (g_beforeVerifyHook) g_beforeVerifyHook(out.Data());
    NullSink discard;
    WrittenKeys written{&keys, {}};
    SerializeHeader(h, written.header);
    PutLe(written.header + 164, cipher.PayloadSize(), 8);
    const int verified = ReadLockedFile(password, &written, out.Data(), &discard, locked.c_str(), log, "verify", control);
    if (verified == kCancelled) return kCancelled;
    if (verified != kOk) {
        LogTo(log, kLogError, "[LockOneFile] %s did not verify.", Narrow(locked).c_str());
        return Failed(control, kIoFailure, out.Data().LastError());
    }
    if (!out.Publish(false)) {
        if (out.LastError() == plat::IoError::Exists) {
            LogTo(log, kLogWarn, "[encryptfile] %s already exist.", Narrow(locked).c_str());
            return kDestinationExists;
        }
        LogTo(log, kLogError, "[encryptfile] write %s failed.", Narrow(locked).c_str());
        return Failed(control, kIoFailure, out.LastError());
    }
    in.Close();
    plat::IoError removeError = plat::IoError::None;
    if (!RemoveReplaced(path, &removeError)) {
        // Never two copies of one file: the locked copy goes again.
        LogTo(log, kLogWarn, "[LockOneFile] delete %s failed.", Narrow(path).c_str());
        plat::RemoveFile(locked);
        return Failed(control, kPlainNotDeleted, removeError);
    }
    plat::SyncParentFolder(path);
    return kOk;
}

int UnlockFile(const std::wstring& path, const char* password, bool replaceExisting, FileLog* log,
               PipelineControl* control) {
    switch (plat::KindOf(path)) {
        case plat::EntryKind::Folder: return kOk;
        case plat::EntryKind::File: break;
        case plat::EntryKind::Missing: return Failed(control, kNotLockedFile, plat::ProbeEntry(path));
        default:
            LogTo(log, kLogWarn, "[UnlockOneFile] %s is not a plain file, left alone.", Narrow(path).c_str());
            return kNotAFile;
    }
    if (!HasLockedExtension(path)) return kNotLockedFile;
    if (!password || !*password) {
        LogTo(log, kLogWarn, "[decryptfile] password is null.");
        return kNoPassword;
    }
    const size_t n = sizeof(kLockedExtension) / sizeof(wchar_t) - 1;
    const std::wstring restored = path.substr(0, path.size() - n);
    const plat::EntryKind existing = plat::KindOf(restored);
    // A folder or a link of the restored name is never replaced.
    if (existing != plat::EntryKind::Missing && (!replaceExisting || existing != plat::EntryKind::File)) {
        LogTo(log, kLogWarn, "[decryptfile] %s already exist.", Narrow(restored).c_str());
        return kDestinationExists;
    }
    plat::File in;
    if (!in.Open(path, plat::File::Mode::Read)) {
        LogTo(log, kLogWarn, "[decryptfile] open %s failed.", Narrow(path).c_str());
        return Failed(control, kIoFailure, in.LastError());
    }
    plat::PendingFile out;
    if (!out.Create(restored)) {
        LogTo(log, kLogWarn, "[decryptfile] open %s failed.", Narrow(restored).c_str());
        return Failed(control, kIoFailure, out.LastError());
    }
    FileSink sink(out.Data());
    int rc = ReadLockedFile(password, nullptr, in, &sink, path.c_str(), log, "decrypt", control);
    if (rc != kOk) {
        if (sink.Failed()) {
            LogTo(log, kLogError, "[decryptfile] write %s failed.", Narrow(restored).c_str());
            return Failed(control, kIoFailure, out.Data().LastError());
        }
        if (rc == kDamagedPayload || rc == kSizeMismatch) {
            LogTo(log, kLogError, "[UnlockOneFile] %s is damaged.", Narrow(path).c_str());
        } else if (rc == kIoFailure) {
            return Failed(control, kIoFailure, in.LastError());
        }
        return rc;
    }
    // The restored file takes its name only complete and flushed.
    if (!out.Publish(replaceExisting)) {
        if (out.LastError() == plat::IoError::Exists) {
            LogTo(log, kLogWarn, "[decryptfile] %s already exist.", Narrow(restored).c_str());
            return kDestinationExists;
        }
        LogTo(log, kLogError, "[decryptfile] write %s failed.", Narrow(restored).c_str());
        return Failed(control, kIoFailure, out.LastError());
    }
    in.Close();
    plat::IoError removeError = plat::IoError::None;
    if (!RemoveReplaced(path, &removeError)) {
        LogTo(log, kLogWarn, "[UnlockOneFile] delete %s failed.", Narrow(path).c_str());
        return Failed(control, kLockedNotDeleted, removeError);
    }
    plat::SyncParentFolder(path);
    return kOk;
}

}  // namespace corva

using namespace corva;

bool loadheader(const wchar_t* path, LockedFileHeader* header, FileLog* log) {
    if (!path || !header) {
        LogTo(log, kLogWarn, "[loadheader] filename or fileheader pointer is null.");
        return false;
    }
    plat::File f;
    if (!f.Open(path, plat::File::Mode::Read)) {
        LogTo(log, kLogWarn, "[loadheader] open file failed.");
        return false;
    }
    uint8_t raw[kHeaderSize] = {};
    size_t got = 0;
    if (!f.ReadFull(raw, sizeof raw, &got)) {
        LogTo(log, kLogWarn, "[loadheader] open file failed.");
        return false;
    }
    ParseHeader(raw, header);
    LogTo(log, kLogInfo, "[loadheader] open file %s success.", plat::WideToNarrow(path).c_str());
    return true;
}

bool HasLockedExtension(const std::wstring& path) {
    const size_t n = sizeof(kLockedExtension) / sizeof(wchar_t) - 1;
    return path.size() >= n && path.compare(path.size() - n, n, kLockedExtension) == 0;
}

bool IsLockedFile(const std::wstring& path) {
    plat::File f;
    if (!f.Open(path, plat::File::Mode::Read)) return false;
    uint8_t head[4];
    size_t got = 0;
    int64_t size = 0;
    if (!f.ReadFull(head, sizeof head, &got) || got != sizeof head || !f.Size(&size)) return false;
    const unsigned magic = head[0] | (head[1] << 8);
    const unsigned version = head[2] | (head[3] << 8);
    return magic == kLockedMagic && version < 2 && size >= static_cast<int64_t>(kHeaderSize) && size % 16 == 12;
}

int encryptfile(const char* password, const wchar_t* source, const wchar_t* destination, bool overwrite,
                FileLog* log) {
    if (!password || !*password) {
        LogTo(log, kLogWarn, "[encryptfile] password is null.");
        return kNoPassword;
    }
    if (!source) {
        LogTo(log, kLogWarn, "[encryptfile] psrc is null.");
        return kNoSource;
    }
    if (!destination) {
        LogTo(log, kLogWarn, "[encryptfile] pdst is null.");
        return kNoDestination;
    }
    const std::string src = plat::WideToNarrow(source), dst = plat::WideToNarrow(destination);
    plat::File in;
    if (!in.Open(source, plat::File::Mode::Read)) {
        LogTo(log, kLogWarn, "[encryptfile] open %s failed.", src.c_str());
        return kIoFailure;
    }
    if (!overwrite && plat::PathExists(destination)) {
        LogTo(log, kLogWarn, "[encryptfile] %s already exist.", dst.c_str());
        return kDestinationExists;
    }
    plat::PendingFile out;
    if (!out.Create(destination)) {
        LogTo(log, kLogWarn, "[encryptfile] open %s failed.", dst.c_str());
        return kIoFailure;
    }
    int64_t length = 0;
    LockedFileHeader h;
    if (!in.Size(&length) || !BuildHeader(password, static_cast<uint64_t>(length), &h)) {
        LogTo(log, kLogError, "[encryptfile] when read %s, an file io error occurs.", src.c_str());
        return kIoFailure;
    }
    uint8_t raw[kHeaderSize];
    SerializeHeader(h, raw);
    if (!out.Data().Write(raw, sizeof raw)) {
        LogTo(log, kLogError, "[encryptfile] write %s failed.", dst.c_str());
        return kIoFailure;
    }
    Key32 k0;
    StretchSecret(password, h.sealedDigest, k0.bytes);
    EncipherSink cipher(out.Data(), k0.bytes, h.iv, static_cast<uint64_t>(length));
    std::vector<uint8_t> buf(static_cast<uint64_t>(length) < kChunk ? static_cast<size_t>(length) + 1 : kChunk);
    uint64_t total = 0;
    int result = kOk;
    for (;;) {
        size_t got = 0;
        if (!in.ReadFull(buf.data(), buf.size(), &got)) {
            LogTo(log, kLogError, "[encryptfile] when read %s, an file io error occurs.", src.c_str());
            result = kIoFailure;
            break;
        }
        total += got;
        ReportProgress("encrypt", total, static_cast<uint64_t>(length));
        if (got > 0 && !cipher.Write(buf.data(), got)) {
            LogTo(log, kLogError, "[encryptfile] write %s failed.", dst.c_str());
            result = kIoFailure;
            break;
        }
        if (got < buf.size()) break;
    }
    plat::SecureZero(buf.data(), buf.size());
    // The header holds the length measured first: a source whose length
    // changed while it was read is refused.
    if (result == kOk && total != static_cast<uint64_t>(length)) {
        LogTo(log, kLogError, "[encryptfile] when read %s, an file io error occurs.", src.c_str());
        result = kIoFailure;
    }
    if (result == kOk && !cipher.Finish()) {
        LogTo(log, kLogError, "[encryptfile] write %s failed.", dst.c_str());
        result = kIoFailure;
    }
    if (result == kOk && !out.Publish(overwrite)) {
        if (out.LastError() == plat::IoError::Exists) {
            LogTo(log, kLogWarn, "[encryptfile] %s already exist.", dst.c_str());
            return kDestinationExists;
        }
        LogTo(log, kLogError, "[encryptfile] write %s failed.", dst.c_str());
        result = kIoFailure;
    }
    return result;  // a failed output is discarded with its PendingFile
}

int decryptfile(const char* password, const wchar_t* source, const wchar_t* destination, bool overwrite,
                FileLog* log) {
    if (!source || !IsLockedFile(source)) return kNotLockedFile;
    if (!password || !*password) {
        LogTo(log, kLogWarn, "[decryptfile] password is null.");
        return kNoPassword;
    }
    if (!destination) {
        LogTo(log, kLogWarn, "[decryptfile] pdst is null.");
        return kNoDestination;
    }
    plat::File in;
    if (!in.Open(source, plat::File::Mode::Read)) {
        LogTo(log, kLogWarn, "[decryptfile] open %s failed.", Narrow(source).c_str());
        return kIoFailure;
    }
    const std::string dst = plat::WideToNarrow(destination);
    if (!overwrite && plat::PathExists(destination)) {
        LogTo(log, kLogWarn, "[decryptfile] %s already exist.", dst.c_str());
        return kDestinationExists;
    }
    LockedFileHeader h;
    int64_t size = 0;
    uint8_t raw[kHeaderSize];
    if (ReadHeader(in, &h, &size, raw) != kOk) {
        LogTo(log, kLogWarn, "[decryptfile] load headder failed.");
        return kIoFailure;
    }
    FileKeys keys;
    DeriveFileKeys(password, h, &keys);
    if (!HeaderMatchesKey(keys.header, h)) {
        LogTo(log, kLogWarn, "[decryptfile] password does not match %s.", Narrow(source).c_str());
        return kWrongPassword;
    }
    // A body shorter than the payload size needs cannot restore it whole.
    if (static_cast<uint64_t>(size) - kHeaderSize < BodyBytesFor(h.payloadSize)) return kSizeMismatch;
    plat::PendingFile out;
    if (!out.Create(destination)) {
        LogTo(log, kLogWarn, "[decryptfile] open %s failed.", dst.c_str());
        return kIoFailure;
    }
    FileSink sink(out.Data());
    switch (DecipherBody(keys.body, h, in, &sink, "decrypt")) {
        case BodyResult::Ok: break;
        case BodyResult::ReadFailed:
            LogTo(log, kLogError, "[decryptfile] when read %s, a file io error occurs.", Narrow(source).c_str());
            return kIoFailure;
        case BodyResult::Short: return kSizeMismatch;
        case BodyResult::SinkFailed:
        case BodyResult::Stopped:  // never asked to stop here
            LogTo(log, kLogError, "[decryptfile] write %s failed.", dst.c_str());
            return kIoFailure;
    }
    if (!out.Publish(overwrite)) {
        if (out.LastError() == plat::IoError::Exists) {
            LogTo(log, kLogWarn, "[decryptfile] %s already exist.", dst.c_str());
            return kDestinationExists;
        }
        LogTo(log, kLogError, "[decryptfile] write %s failed.", dst.c_str());
        return kIoFailure;
    }
    return kOk;
}

bool LockOneFile(const std::wstring& path, const char* password, FileLog* log) {
    return LockFile(path, password, log) == kOk;
}

bool UnlockOneFile(const std::wstring& path, const char* password, FileLog* log) {
    return UnlockFile(path, password, true, log) == kOk;
}
