#include "LockedFile.h"

#include <zlib.h>

#include <cstring>
#include <functional>
#include <vector>

#include "Crypto.h"
#include "GZip.h"
#include "SafeOutput.h"
#include "log/FileLog.h"
#include "platform/Platform.h"

namespace corva {

const wchar_t kLockedExtension[] = L".corvastine";

namespace {
thread_local ProgressFn t_progress = nullptr;
thread_local void* t_progressContext = nullptr;
}  // namespace

void SetThreadProgress(ProgressFn fn, void* context) {
    t_progress = fn;
    t_progressContext = context;
}

void ReportProgress(const char* stage, uint64_t done, uint64_t total) {
    if (t_progress) t_progress(t_progressContext, stage, done, total);
}

namespace {

constexpr size_t kChunk = 1024 * 1024;  // a whole number of cipher blocks

std::string Narrow(const wchar_t* path) { return plat::WideToNarrow(path ? path : L""); }

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

// Deciphers the body from the current position of in (just past the header)
// and hands at most payloadSize bytes to sink. *restored receives the count.
int DecipherBody(const char* password, const LockedFileHeader& h, plat::File& in, const wchar_t* source,
                 FileLog* log, const std::function<bool(const uint8_t*, size_t)>& sink, uint64_t* restored,
                 const char* stage) {
    Key32 k0;
    StretchSecret(password, h.sealedDigest, k0.bytes);
    BodyCipher cipher(k0.bytes, h.iv, false);
    std::vector<uint8_t> buf(kChunk);
    uint64_t remaining = h.payloadSize;
    *restored = 0;
    int result = kOk;
    while (remaining > 0) {
        size_t got = 0;
        if (!in.ReadFull(buf.data(), buf.size(), &got)) {
            LogTo(log, kLogError, "[decryptfile] when read %s, a file io error occurs.", Narrow(source).c_str());
            result = kIoFailure;
            break;
        }
        if (got == 0) break;
        size_t blocks = (got + kAesBlock - 1) / kAesBlock;
        std::memset(buf.data() + got, 0, blocks * kAesBlock - got);
        cipher.Process(buf.data(), blocks);
        size_t bytes = blocks * kAesBlock;
        if (bytes > remaining) bytes = static_cast<size_t>(remaining);
        if (!sink(buf.data(), bytes)) {
            result = kIoFailure;
            break;
        }
        remaining -= bytes;
        *restored += bytes;
        ReportProgress(stage, *restored, h.payloadSize);
        if (got < buf.size()) break;  // end of file
    }
    plat::SecureZero(buf.data(), buf.size());
    return result;
}

// Opens a locked file for reading and loads its header: the shared first
// steps of decryptfile and VerifyLockedFile.
int OpenLocked(const char* password, const wchar_t* source, plat::File* in, FileLog* log) {
    if (!source || !IsLockedFile(source)) return kNotLockedFile;
    if (!password || !*password) {
        LogTo(log, kLogWarn, "[decryptfile] password is null.");
        return kNoPassword;
    }
    if (!in->Open(source, plat::File::Mode::Read)) {
        LogTo(log, kLogWarn, "[decryptfile] open %s failed.", Narrow(source).c_str());
        return kIoFailure;
    }
    return kOk;
}

int LoadAndCheckHeader(const char* password, const wchar_t* source, plat::File* in, LockedFileHeader* h,
                       FileLog* log) {
    if (!loadheader(source, h, log)) {
        LogTo(log, kLogWarn, "[decryptfile] load headder failed.");
        return kIoFailure;
    }
    if (!HeaderMatchesPassword(password, *h)) {
        LogTo(log, kLogWarn, "[decryptfile] password does not match %s.", Narrow(source).c_str());
        return kWrongPassword;
    }
    if (!in->Seek(static_cast<int64_t>(kHeaderSize))) {
        LogTo(log, kLogError, "[decryptfile] when read %s, a file io error occurs.", Narrow(source).c_str());
        return kIoFailure;
    }
    return kOk;
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

void BuildHeaderFrom(const char* password, uint64_t payloadSize, const uint8_t salt[32], const uint8_t token[32],
                     const uint8_t iv[64], LockedFileHeader* h) {
    std::memset(h, 0, sizeof *h);
    h->magic = kLockedMagic;
    h->version = kLockedVersion;
    std::memcpy(h->salt, salt, 32);
    std::memcpy(h->sealedToken, token, 32);
    std::memcpy(h->iv, iv, 64);
    h->payloadSize = payloadSize;
    Sha256(h->sealedToken, 32, h->sealedDigest);
    Key32 kh;
    HeaderKey(password, *h, &kh);
    uint8_t chain[kAesBlock];
    std::memcpy(chain, h->iv, kAesBlock);
    AesCbc256(kh.bytes, chain, h->sealedToken, 32, true);
    std::memcpy(chain, h->iv, kAesBlock);
    AesCbc256(kh.bytes, chain, h->sealedDigest, 32, true);
}

bool BuildHeader(const char* password, uint64_t payloadSize, LockedFileHeader* h) {
    uint8_t salt[32], token[32], iv[64];
    bool ok = RandomBytes(salt, sizeof salt) && RandomBytes(token, sizeof token) && RandomBytes(iv, sizeof iv);
    if (ok) BuildHeaderFrom(password, payloadSize, salt, token, iv, h);
    plat::SecureZero(token, sizeof token);
    return ok;
}

bool HeaderMatchesPassword(const char* password, const LockedFileHeader& h) {
    Key32 kh;
    HeaderKey(password, h, &kh);
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

int VerifyLockedFile(const char* password, const std::wstring& path, FileLog* log) {
    plat::File in;
    LockedFileHeader h;
    int rc = OpenLocked(password, path.c_str(), &in, log);
    if (rc == kOk) rc = LoadAndCheckHeader(password, path.c_str(), &in, &h, log);
    if (rc != kOk) return rc;

    z_stream z{};
    if (inflateInit2(&z, 15 + 16) != Z_OK) return kIoFailure;
    std::vector<uint8_t> sink(kChunk);
    bool ended = false, bad = false;
    auto inflateChunk = [&](const uint8_t* data, size_t size) {
        z.next_in = const_cast<Bytef*>(data);
        z.avail_in = static_cast<uInt>(size);
        while (z.avail_in > 0 && !bad && !ended) {
            z.next_out = sink.data();
            z.avail_out = static_cast<uInt>(sink.size());
            int r = inflate(&z, Z_NO_FLUSH);
            if (r == Z_STREAM_END) ended = true;
            else if (r != Z_OK && r != Z_BUF_ERROR) bad = true;
        }
        return true;
    };
    uint64_t restored = 0;
    rc = DecipherBody(password, h, in, path.c_str(), log, inflateChunk, &restored, "verify");
    inflateEnd(&z);
    plat::SecureZero(sink.data(), sink.size());
    if (rc != kOk) return rc;
    if (restored != h.payloadSize) return kSizeMismatch;
    if (bad || !ended) return kDamagedPayload;
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
    SafeOutput out;
    if (!out.Open(destination, overwrite)) {
        if (out.LastError() == plat::IoError::Exists) {
            LogTo(log, kLogWarn, "[encryptfile] %s already exist.", dst.c_str());
            return kDestinationExists;
        }
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
    if (!out.File().Write(raw, sizeof raw)) {
        LogTo(log, kLogError, "[encryptfile] write %s failed.", dst.c_str());
        return kIoFailure;
    }
    Key32 k0;
    StretchSecret(password, h.sealedDigest, k0.bytes);
    BodyCipher cipher(k0.bytes, h.iv, true);
    std::vector<uint8_t> buf(kChunk + kAesBlock);
    uint64_t total = 0;
    int result = kOk;
    for (;;) {
        size_t got = 0;
        if (!in.ReadFull(buf.data(), kChunk, &got)) {
            LogTo(log, kLogError, "[encryptfile] when read %s, an file io error occurs.", src.c_str());
            result = kIoFailure;
            break;
        }
        total += got;
        ReportProgress("encrypt", total, static_cast<uint64_t>(length));
        const bool end = got < kChunk;
        // The last block carries the remaining bytes and zeros; a payload
        // that ends on a block boundary gets a whole block of zeros.
        const size_t blocks = end ? got / kAesBlock + 1 : kChunk / kAesBlock;
        std::memset(buf.data() + got, 0, blocks * kAesBlock - got);
        cipher.Process(buf.data(), blocks);
        if (!out.File().Write(buf.data(), blocks * kAesBlock)) {
            LogTo(log, kLogError, "[encryptfile] write %s failed.", dst.c_str());
            result = kIoFailure;
            break;
        }
        if (end) break;
    }
    plat::SecureZero(buf.data(), buf.size());
    if (result == kOk && total != static_cast<uint64_t>(length)) {
        LogTo(log, kLogError, "[encryptfile] when read %s, an file io error occurs.", src.c_str());
        result = kIoFailure;
    }
    if (result == kOk && !out.Commit(true)) {
        LogTo(log, kLogError, "[encryptfile] write %s failed.", dst.c_str());
        result = kIoFailure;
    }
    return result;  // a failed output is removed by SafeOutput
}

int decryptfile(const char* password, const wchar_t* source, const wchar_t* destination, bool overwrite,
                FileLog* log) {
    plat::File in;
    LockedFileHeader h;
    int rc = OpenLocked(password, source, &in, log);
    if (rc != kOk) return rc;
    if (!destination) {
        LogTo(log, kLogWarn, "[decryptfile] pdst is null.");
        return kNoDestination;
    }
    const std::string dst = plat::WideToNarrow(destination);
    if (!overwrite && plat::PathExists(destination)) {
        LogTo(log, kLogWarn, "[decryptfile] %s already exist.", dst.c_str());
        return kDestinationExists;
    }
    rc = LoadAndCheckHeader(password, source, &in, &h, log);
    if (rc != kOk) return rc;
    SafeOutput out;
    if (!out.Open(destination, overwrite)) {
        if (out.LastError() == plat::IoError::Exists) {
            LogTo(log, kLogWarn, "[decryptfile] %s already exist.", dst.c_str());
            return kDestinationExists;
        }
        LogTo(log, kLogWarn, "[decryptfile] open %s failed.", dst.c_str());
        return kIoFailure;
    }
    auto write = [&](const uint8_t* data, size_t size) {
        if (out.File().Write(data, size)) return true;
        LogTo(log, kLogError, "[decryptfile] write %s failed.", dst.c_str());
        return false;
    };
    uint64_t restored = 0;
    rc = DecipherBody(password, h, in, source, log, write, &restored, "decrypt");
    if (rc == kOk && restored != h.payloadSize) rc = kSizeMismatch;
    if (rc == kOk && !out.Commit(false)) {
        LogTo(log, kLogError, "[decryptfile] write %s failed.", dst.c_str());
        rc = kIoFailure;
    }
    return rc;
}

bool LockOneFile(const std::wstring& path, const char* password, FileLog* log) {
    if (plat::IsDirectory(path)) return true;
    const std::wstring temp = TemporaryName(path);
    if (temp.empty()) return false;
    const std::wstring locked = path + kLockedExtension;
    bool ok = false;
    if (CompressFile(path, temp)) {
        if (encryptfile(password, temp.c_str(), locked.c_str(), false, log) == kOk) {
            // The plain file goes only once its locked file reads back whole.
            if (VerifyLockedFile(password, locked, log) == kOk) {
                ok = plat::RemoveFile(path);
                if (!ok) LogTo(log, kLogWarn, "[LockOneFile] delete %s failed.", plat::WideToNarrow(path).c_str());
            } else {
                LogTo(log, kLogError, "[LockOneFile] %s did not verify.", plat::WideToNarrow(locked).c_str());
                plat::RemoveFile(locked);
            }
        }
    }
    plat::RemoveFile(temp);
    return ok;
}

bool UnlockOneFile(const std::wstring& path, const char* password, FileLog* log) {
    if (plat::IsDirectory(path)) return true;
    const std::wstring temp = TemporaryName(path);
    if (temp.empty()) return false;
    if (!HasLockedExtension(path)) {
        plat::RemoveFile(temp);
        return false;
    }
    const size_t n = sizeof(kLockedExtension) / sizeof(wchar_t) - 1;
    const std::wstring restored = path.substr(0, path.size() - n);
    bool ok = false;
    if (decryptfile(password, path.c_str(), temp.c_str(), false, log) == kOk) {
        // DecompressFile writes the restored file under a temporary name and
        // renames it over any file of that name only once it is complete.
        if (DecompressFile(temp, restored)) {
            ok = plat::RemoveFile(path);
            if (!ok) LogTo(log, kLogWarn, "[UnlockOneFile] delete %s failed.", plat::WideToNarrow(path).c_str());
        } else {
            LogTo(log, kLogError, "[UnlockOneFile] %s is damaged.", plat::WideToNarrow(path).c_str());
        }
    }
    plat::RemoveFile(temp);
    return ok;
}
