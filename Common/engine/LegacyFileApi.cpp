// The engine's older file interface: loadheader, encryptfile, decryptfile
// (a payload file to a locked file and back, with no compression stage),
// the name and shape tests, and LockOneFile / UnlockOneFile over the
// pipelines.
#include <cstring>

#include "engine/BodyStream.h"
#include "engine/FailureLog.h"
#include "engine/HeaderKeys.h"
#include "engine/LockedFile.h"
#include "log/FileLog.h"
#include "platform/Platform.h"

using namespace corva;

bool loadheader(const wchar_t* path, LockedFileHeader* header, FileLog* log) {
    if (!path || !header) {
        LogTo(log, kLogWarn, "[loadheader] filename or fileheader pointer is null.");
        return false;
    }
    plat::File f;
    uint8_t raw[kHeaderSize] = {};
    size_t got = 0;
    if (!f.Open(path, plat::File::Mode::Read) || !f.ReadFull(raw, sizeof raw, &got)) {
        LogTo(log, kLogWarn, "[loadheader] open file failed.");
        return false;
    }
    ParseHeader(raw, header);
    LogTo(log, kLogInfo, "[loadheader] open file %s success.", LogName(path).c_str());
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

EngineResult encryptfile(const char* password, const wchar_t* source, const wchar_t* destination, bool overwrite,
                         FileLog* log) {
    FailureLog fail(log, nullptr);
    if (!password || !*password) return fail(kNoPassword, kLogWarn, "[encryptfile] password is null.");
    if (!source) return fail(kNoSource, kLogWarn, "[encryptfile] psrc is null.");
    if (!destination) return fail(kNoDestination, kLogWarn, "[encryptfile] pdst is null.");
    const std::string src = LogName(source), dst = LogName(destination);
    plat::File in;
    if (!in.Open(source, plat::File::Mode::Read))
        return fail(kIoFailure, kLogWarn, "[encryptfile] open %s failed.", src.c_str());
    if (!overwrite && plat::PathExists(destination))
        return fail(kDestinationExists, kLogWarn, "[encryptfile] %s already exist.", dst.c_str());
    plat::PendingFile out;
    if (!out.Create(destination)) return fail(kIoFailure, kLogWarn, "[encryptfile] open %s failed.", dst.c_str());
    int64_t length = 0;
    LockedFileHeader h;
    if (!in.Size(&length) || !BuildHeader(password, static_cast<uint64_t>(length), &h))
        return fail(kIoFailure, kLogError, "[encryptfile] when read %s, an file io error occurs.", src.c_str());
    uint8_t raw[kHeaderSize];
    SerializeHeader(h, raw);
    if (!out.Data().Write(raw, sizeof raw))
        return fail(kIoFailure, kLogError, "[encryptfile] write %s failed.", dst.c_str());
    Key32 k0;
    StretchSecret(password, h.sealedDigest, k0.bytes);
    EncipherSink cipher(out.Data(), k0.bytes, h.iv, static_cast<uint64_t>(length));
    // The header holds the length measured first: a source whose length
    // changed while it was read is refused.
    const PlainReadEnd end = StreamPlainFile(in, length, &cipher, "encrypt", nullptr);
    if (end == PlainReadEnd::ReadFailed || end == PlainReadEnd::Changed)
        return fail(kIoFailure, kLogError, "[encryptfile] when read %s, an file io error occurs.", src.c_str());
    if (end != PlainReadEnd::Done || !cipher.Finish())
        return fail(kIoFailure, kLogError, "[encryptfile] write %s failed.", dst.c_str());
    if (!out.Publish(overwrite)) {
        if (out.LastError() == plat::IoError::Exists)
            return fail(kDestinationExists, kLogWarn, "[encryptfile] %s already exist.", dst.c_str());
        return fail(kIoFailure, kLogError, "[encryptfile] write %s failed.", dst.c_str());
    }
    return kOk;  // a failed output is discarded with its PendingFile
}

EngineResult decryptfile(const char* password, const wchar_t* source, const wchar_t* destination, bool overwrite,
                         FileLog* log) {
    FailureLog fail(log, nullptr);
    if (!source || !IsLockedFile(source)) return kNotLockedFile;
    if (!password || !*password) return fail(kNoPassword, kLogWarn, "[decryptfile] password is null.");
    if (!destination) return fail(kNoDestination, kLogWarn, "[decryptfile] pdst is null.");
    const std::string src = LogName(source), dst = LogName(destination);
    plat::File in;
    if (!in.Open(source, plat::File::Mode::Read))
        return fail(kIoFailure, kLogWarn, "[decryptfile] open %s failed.", src.c_str());
    if (!overwrite && plat::PathExists(destination))
        return fail(kDestinationExists, kLogWarn, "[decryptfile] %s already exist.", dst.c_str());
    LockedFileHeader h;
    int64_t size = 0;
    uint8_t raw[kHeaderSize];
    if (ReadHeader(in, &h, &size, raw) != kOk) return fail(kIoFailure, kLogWarn, "[decryptfile] load headder failed.");
    FileKeys keys;
    DeriveFileKeys(password, h, &keys);
    if (!HeaderMatchesKey(keys.header, h))
        return fail(kWrongPassword, kLogWarn, "[decryptfile] password does not match %s.", src.c_str());
    // A body shorter than the payload size needs cannot restore it whole.
    if (static_cast<uint64_t>(size) - kHeaderSize < BodyBytesFor(h.payloadSize)) return kSizeMismatch;
    plat::PendingFile out;
    if (!out.Create(destination)) return fail(kIoFailure, kLogWarn, "[decryptfile] open %s failed.", dst.c_str());
    FileSink sink(out.Data());
    switch (DecipherBody(keys.body, h, in, &sink, "decrypt")) {
        case BodyResult::Ok: break;
        case BodyResult::ReadFailed:
            return fail(kIoFailure, kLogError, "[decryptfile] when read %s, a file io error occurs.", src.c_str());
        case BodyResult::Short: return kSizeMismatch;
        case BodyResult::SinkFailed:
        case BodyResult::Stopped:  // never asked to stop here
            return fail(kIoFailure, kLogError, "[decryptfile] write %s failed.", dst.c_str());
    }
    if (!out.Publish(overwrite)) {
        if (out.LastError() == plat::IoError::Exists)
            return fail(kDestinationExists, kLogWarn, "[decryptfile] %s already exist.", dst.c_str());
        return fail(kIoFailure, kLogError, "[decryptfile] write %s failed.", dst.c_str());
    }
    return kOk;
}

bool LockOneFile(const std::wstring& path, const char* password, FileLog* log) {
    return LockFile(path, password, log) == kOk;
}

bool UnlockOneFile(const std::wstring& path, const char* password, FileLog* log) {
    return UnlockFile(path, password, true, log) == kOk;
}
