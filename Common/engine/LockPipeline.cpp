// The single-file pipelines: lock (plain file -> compressor -> encipherer ->
// pending locked file, read back, published, plain file deleted), unlock
// (locked file -> decipherer -> decompressor -> pending plain file, published,
// locked file deleted) and verify (the same reading, keeping nothing).
#include <cstring>
#include <memory>

#include "engine/BodyStream.h"
#include "engine/FailureLog.h"
#include "engine/HeaderKeys.h"
#include "engine/LockedFile.h"
#include "engine/LockedCopyWriter.h"
#include "engine/ParallelGzip.h"
#include "engine/ReadBack.h"
#include "log/FileLog.h"
#include "platform/Platform.h"

namespace corva {

namespace {

void (*g_beforeVerifyHook)(plat::File& lockedCopy) = nullptr;

// From this payload length on, the read-back runs beside the writing: a
// thread for a smaller file costs more than it saves.
constexpr uint64_t kReadBackBesideFrom = 4 * kChunk;

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

}  // namespace

void SetBeforeVerifyHookForTesting(void (*hook)(plat::File& lockedCopy)) { g_beforeVerifyHook = hook; }

EngineResult VerifyLockedFile(const char* password, const std::wstring& path, FileLog* log) {
    FailureLog fail(log, nullptr);
    if (!IsLockedFile(path)) return kNotLockedFile;
    if (!password || !*password) return fail(kNoPassword, kLogWarn, "[decryptfile] password is null.");
    plat::File in;
    if (!in.Open(path, plat::File::Mode::Read))
        return fail(kIoFailure, kLogWarn, "[decryptfile] open %s failed.", LogName(path).c_str());
    NullSink discard;
    return ReadLockedFile(password, nullptr, in, &discard, path.c_str(), log, "verify");
}

EngineResult LockFile(const std::wstring& path, const char* password, FileLog* log, LockKeySource* source,
                      PipelineControl* control) {
    return LockFileInto(path, path + kLockedExtension, password, log, source, control);
}

EngineResult WriteLockedCopy(plat::File& in, const std::wstring& plain, const std::wstring& locked, const char* password,
                             bool replaceExisting, LockKeySource* source, FailureLog& fail) {
    FileLog* log = fail.Log();
    PipelineControl* control = fail.Control();
    const std::string src = LogName(plain), dst = LogName(locked);
    // The plain file's attributes and times travel in the payload's header.
    plat::FileStamp stamp;
    const bool stamped = in.Stamp(&stamp);
    plat::PendingFile out;
    if (!out.Create(locked))
        return fail(kIoFailure, out.LastError(), kLogWarn, "[encryptfile] open %s failed.", dst.c_str());
    // The header goes first with the payload size still 0; the size is
    // written in once the compressed stream has ended.
    int64_t length = 0;
    LockedFileHeader h;
    uint8_t raw[kHeaderSize];
    FileKeys keys;
    const bool made = source ? source->Take(&h, keys.header.bytes, keys.body.bytes)
                             : BuildHeader(password, 0, &h, keys.header.bytes);
    if (!in.Size(&length) || !made)
        return fail(kIoFailure, in.LastError(), kLogError, "[encryptfile] when read %s, an file io error occurs.",
                    src.c_str());
    SerializeHeader(h, raw);
    if (!out.Data().Write(raw, sizeof raw))
        return fail(kIoFailure, out.Data().LastError(), kLogError, "[encryptfile] write %s failed.", dst.c_str());
    // The body key depends on the sealed header: the second stretch follows.
    if (!source) StretchSecret(password, h.sealedDigest, keys.body.bytes);
    // Deflate output is at most a little longer than its input.
    const uint64_t expected = static_cast<uint64_t>(length) + static_cast<uint64_t>(length) / 1000;
    // A large file is read back beside its writing (a test's damage before
    // the read-back needs the read-back after).
    std::unique_ptr<ConcurrentReadBack> readBack;
    if (!g_beforeVerifyHook && expected >= kReadBackBesideFrom) {
        readBack.reset(new ConcurrentReadBack(out.Data(), keys, h.iv, control));
        if (!readBack->Start()) readBack.reset();
    }
    EncipherSink cipher(out.Data(), keys.body.bytes, h.iv, expected, readBack.get());
    std::unique_ptr<ByteSink> compressor = MakeParallelCompressor(&cipher, stamped ? &stamp : nullptr);
    const PlainReadEnd end = StreamPlainFile(in, length, compressor.get(), "compress", control);
    const bool compressed = end == PlainReadEnd::Done && compressor->Finish();
    compressor.reset();  // its threads have ended: the output's error can be read
    if (!compressed) {
        switch (end) {
            case PlainReadEnd::Stopped: return kCancelled;
            case PlainReadEnd::ReadFailed:
                return fail(kIoFailure, in.LastError(), kLogError,
                            "[encryptfile] when read %s, an file io error occurs.", src.c_str());
            case PlainReadEnd::Changed:  // another program writes to it meanwhile
                return fail(kIoFailure, plat::IoError::InUse, kLogError,
                            "[encryptfile] when read %s, an file io error occurs.", src.c_str());
            default:  // the compressor or the cipher could not write
                return fail(kIoFailure, out.Data().LastError(), kLogError, "[encryptfile] write %s failed.",
                            dst.c_str());
        }
    }
    uint8_t size[8];
    PutLe(size, cipher.PayloadSize(), 8);
    if (!out.Data().Seek(164) || !out.Data().Write(size, sizeof size) || !out.Data().Flush())
        return fail(kIoFailure, out.Data().LastError(), kLogError, "[encryptfile] write %s failed.", dst.c_str());
    // Nothing else happens until the locked copy, flushed, reads back
    // whole: the header token, every block, every gzip member and its check.
    // The keys just used are used again; the header is read from the disk
    // and must be the one written.
    if (g_beforeVerifyHook) g_beforeVerifyHook(out.Data());
    NullSink discard;
    WrittenKeys written{&keys, {}};
    SerializeHeader(h, written.header);
    PutLe(written.header + 164, cipher.PayloadSize(), 8);
    plat::IoError readError = plat::IoError::None;
    const EngineResult verified =
        readBack ? readBack->Finish(written, cipher.PayloadSize(), &readError)
                 : ReadLockedFile(password, &written, out.Data(), &discard, locked.c_str(), log, "verify", nullptr,
                                  control);
    if (verified == kCancelled) return kCancelled;
    if (verified != kOk)
        return fail(kIoFailure, readBack ? readError : out.Data().LastError(), kLogError,
                    "[LockOneFile] %s did not verify.", dst.c_str());
    // A read-only file that is replaced has the attribute cleared for the
    // rename; the new file gets it back.
    const bool readOnly =
        replaceExisting && plat::KindOf(locked) == plat::EntryKind::File && plat::IsReadOnly(locked);
    if (readOnly) plat::SetReadOnly(locked, false);
    if (!out.Publish(replaceExisting)) {
        if (readOnly) plat::SetReadOnly(locked, true);
        if (out.LastError() == plat::IoError::Exists)
            return fail(kDestinationExists, kLogWarn, "[encryptfile] %s already exist.", dst.c_str());
        return fail(kIoFailure, out.LastError(), kLogError, "[encryptfile] write %s failed.", dst.c_str());
    }
    if (readOnly) plat::SetReadOnly(locked, true);
    return kOk;
}

EngineResult LockFileInto(const std::wstring& path, const std::wstring& locked, const char* password, FileLog* log,
                          LockKeySource* source, PipelineControl* control) {
    FailureLog fail(log, control);
    const std::string src = LogName(path), dst = LogName(locked);
    switch (plat::KindOf(path)) {
        case plat::EntryKind::Folder: return kOk;
        case plat::EntryKind::File: break;
        case plat::EntryKind::Missing:
            return fail(kIoFailure, plat::ProbeEntry(path), kLogWarn, "[encryptfile] open %s failed.", src.c_str());
        default:
            return fail(kNotAFile, kLogWarn, "[LockOneFile] %s is not a plain file, left alone.", src.c_str());
    }
    if (!password || !*password) return fail(kNoPassword, kLogWarn, "[encryptfile] password is null.");
    if (locked.empty()) return fail(kNoDestination, kLogWarn, "[encryptfile] pdst is null.");
    if (plat::PathExists(locked))
        return fail(kDestinationExists, kLogWarn, "[encryptfile] %s already exist.", dst.c_str());
    plat::File in;
    if (!in.Open(path, plat::File::Mode::Read))
        return fail(kIoFailure, in.LastError(), kLogWarn, "[encryptfile] open %s failed.", src.c_str());
    const EngineResult written = WriteLockedCopy(in, path, locked, password, false, source, fail);
    if (written != kOk) return written;
    // The plain file goes only now that its locked copy verified.
    in.Close();
    plat::IoError removeError = plat::IoError::None;
    if (!RemoveReplaced(path, &removeError)) {
        // Never two copies of one file: the locked copy goes again.
        plat::RemoveFile(locked);
        return fail(kPlainNotDeleted, removeError, kLogWarn, "[LockOneFile] delete %s failed.", src.c_str());
    }
    plat::SyncParentFolder(path);
    return kOk;
}

EngineResult WritePlainCopy(plat::File& in, const std::wstring& locked, const std::wstring& plain, const char* password,
                            bool replaceExisting, bool writable, FailureLog& fail) {
    const std::string src = LogName(locked), dst = LogName(plain);
    plat::PendingFile out;
    if (!out.Create(plain))
        return fail(kIoFailure, out.LastError(), kLogWarn, "[decryptfile] open %s failed.", dst.c_str());
    FileSink sink(out.Data());
    plat::FileStamp stamp;
    const EngineResult rc =
        ReadLockedFile(password, nullptr, in, &sink, locked.c_str(), fail.Log(), "decrypt", &stamp, fail.Control());
    if (rc != kOk) {
        if (sink.Failed())
            return fail(kIoFailure, out.Data().LastError(), kLogError, "[decryptfile] write %s failed.", dst.c_str());
        if (rc == kDamagedPayload || rc == kSizeMismatch)
            return fail(rc, kLogError, "[UnlockOneFile] %s is damaged.", src.c_str());
        if (rc == kIoFailure) return fail.Cause(kIoFailure, in.LastError());
        return rc;
    }
    // The plain file takes its name only complete and flushed.
    if (!out.Publish(replaceExisting)) {
        if (out.LastError() == plat::IoError::Exists)
            return fail(kDestinationExists, kLogWarn, "[decryptfile] %s already exist.", dst.c_str());
        return fail(kIoFailure, out.LastError(), kLogError, "[decryptfile] write %s failed.", dst.c_str());
    }
    // Its attributes and times once it is complete under its name (a
    // read-only file comes back read-only unless asked for a writable one).
    if (writable) stamp.attributes &= ~plat::kAttributeReadOnly;
    if (!plat::ApplyStamp(plain, stamp))
        LogTo(fail.Log(), kLogWarn, "[UnlockOneFile] attributes or times of %s not restored.", dst.c_str());
    return kOk;
}

EngineResult UnlockFile(const std::wstring& path, const char* password, bool replaceExisting, FileLog* log,
                        PipelineControl* control) {
    FailureLog fail(log, control);
    const std::string src = LogName(path);
    switch (plat::KindOf(path)) {
        case plat::EntryKind::Folder: return kOk;
        case plat::EntryKind::File: break;
        case plat::EntryKind::Missing: return fail.Cause(kNotLockedFile, plat::ProbeEntry(path));
        default:
            return fail(kNotAFile, kLogWarn, "[UnlockOneFile] %s is not a plain file, left alone.", src.c_str());
    }
    if (!HasLockedExtension(path)) return kNotLockedFile;
    if (!password || !*password) return fail(kNoPassword, kLogWarn, "[decryptfile] password is null.");
    const size_t n = sizeof(kLockedExtension) / sizeof(wchar_t) - 1;
    const std::wstring restored = path.substr(0, path.size() - n);
    const std::string dst = LogName(restored);
    const plat::EntryKind existing = plat::KindOf(restored);
    // A folder or a link of the restored name is never replaced.
    if (existing != plat::EntryKind::Missing && (!replaceExisting || existing != plat::EntryKind::File))
        return fail(kDestinationExists, kLogWarn, "[decryptfile] %s already exist.", dst.c_str());
    plat::File in;
    if (!in.Open(path, plat::File::Mode::Read))
        return fail(kIoFailure, in.LastError(), kLogWarn, "[decryptfile] open %s failed.", src.c_str());
    const EngineResult written = WritePlainCopy(in, path, restored, password, replaceExisting, false, fail);
    if (written != kOk) return written;
    in.Close();
    plat::IoError removeError = plat::IoError::None;
    if (!RemoveReplaced(path, &removeError))
        return fail(kLockedNotDeleted, removeError, kLogWarn, "[UnlockOneFile] delete %s failed.", src.c_str());
    plat::SyncParentFolder(path);
    return kOk;
}

}  // namespace corva
