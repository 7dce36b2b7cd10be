// Unlocking into a working copy and locking it back over its locked file.
#include "engine/WorkingCopyPipeline.h"

#include <memory>

#include "engine/BodyStream.h"
#include "engine/Crypto.h"
#include "engine/FailureLog.h"
#include "engine/HeaderKeys.h"
#include "engine/LittleEndian.h"
#include "engine/ParallelGzip.h"
#include "log/FileLog.h"
#include "platform/Platform.h"

namespace corva {

namespace {
void (*g_beforeVerify)(plat::File& pending) = nullptr;
}  // namespace

void SetBeforeRelockVerifyHookForTesting(void (*hook)(plat::File& pending)) { g_beforeVerify = hook; }

EngineResult UnlockCopy(const std::wstring& locked, const std::wstring& copy, const char* password, FileLog* log,
                        PipelineControl* control) {
    FailureLog fail(log, control);
    const std::string src = LogName(locked), dst = LogName(copy);
    if (plat::KindOf(locked) != plat::EntryKind::File || !IsLockedFile(locked)) return kNotLockedFile;
    if (!password || !*password) return fail(kNoPassword, kLogWarn, "[decryptfile] password is null.");
    if (plat::KindOf(copy) != plat::EntryKind::Missing)
        return fail(kDestinationExists, kLogWarn, "[decryptfile] %s already exist.", dst.c_str());
    plat::File in;
    if (!in.Open(locked, plat::File::Mode::Read))
        return fail(kIoFailure, in.LastError(), kLogWarn, "[decryptfile] open %s failed.", src.c_str());
    plat::PendingFile out;
    if (!out.Create(copy))
        return fail(kIoFailure, out.LastError(), kLogWarn, "[decryptfile] open %s failed.", dst.c_str());
    FileSink sink(out.Data());
    plat::FileStamp stamp;
    const EngineResult rc = ReadLockedFile(password, nullptr, in, &sink, locked.c_str(), log, "decrypt", &stamp, control);
    if (rc != kOk) {
        if (sink.Failed())
            return fail(kIoFailure, out.Data().LastError(), kLogError, "[decryptfile] write %s failed.", dst.c_str());
        if (rc == kIoFailure) return fail.Cause(kIoFailure, in.LastError());
        return rc;
    }
    if (!out.Publish(false)) {
        if (out.LastError() == plat::IoError::Exists)
            return fail(kDestinationExists, kLogWarn, "[decryptfile] %s already exist.", dst.c_str());
        return fail(kIoFailure, out.LastError(), kLogError, "[decryptfile] write %s failed.", dst.c_str());
    }
    // A working copy is meant to be edited: it never comes back read-only.
    stamp.attributes &= ~plat::kAttributeReadOnly;
    if (!plat::ApplyStamp(copy, stamp))
        LogTo(log, kLogWarn, "[UnlockOneFile] attributes or times of %s not restored.", dst.c_str());
    return kOk;
}

EngineResult RelockInPlace(const std::wstring& plain, const std::wstring& locked, const char* password,
                           bool replaceExisting, FileLog* log, PipelineControl* control) {
    FailureLog fail(log, control);
    const std::string src = LogName(plain), dst = LogName(locked);
    if (plat::KindOf(plain) != plat::EntryKind::File)
        return fail(kIoFailure, plat::ProbeEntry(plain), kLogWarn, "[encryptfile] open %s failed.", src.c_str());
    if (!password || !*password) return fail(kNoPassword, kLogWarn, "[encryptfile] password is null.");
    if (locked.empty()) return fail(kNoDestination, kLogWarn, "[encryptfile] pdst is null.");
    const plat::EntryKind target = plat::KindOf(locked);
    if (target != plat::EntryKind::Missing && (target != plat::EntryKind::File || !replaceExisting))
        return fail(kDestinationExists, kLogWarn, "[encryptfile] %s already exist.", dst.c_str());
    plat::File in;
    if (!in.Open(plain, plat::File::Mode::Read))
        return fail(kIoFailure, in.LastError(), kLogWarn, "[encryptfile] open %s failed.", src.c_str());
    plat::FileStamp stamp;
    const bool stamped = in.Stamp(&stamp);
    int64_t length = 0;
    if (!in.Size(&length))
        return fail(kIoFailure, in.LastError(), kLogError, "[encryptfile] when read %s, an file io error occurs.",
                    src.c_str());
    plat::PendingFile out;
    if (!out.Create(locked))
        return fail(kIoFailure, out.LastError(), kLogWarn, "[encryptfile] open %s failed.", dst.c_str());
    LockedFileHeader h;
    FileKeys keys;
    if (!BuildHeader(password, 0, &h, keys.header.bytes))
        return fail(kIoFailure, kLogError, "[encryptfile] write %s failed.", dst.c_str());
    uint8_t raw[kHeaderSize];
    SerializeHeader(h, raw);
    if (!out.Data().Write(raw, sizeof raw))
        return fail(kIoFailure, out.Data().LastError(), kLogError, "[encryptfile] write %s failed.", dst.c_str());
    StretchSecret(password, h.sealedDigest, keys.body.bytes);
    const uint64_t expected = static_cast<uint64_t>(length) + static_cast<uint64_t>(length) / 1000;
    EncipherSink cipher(out.Data(), keys.body.bytes, h.iv, expected);
    std::unique_ptr<ByteSink> compressor = MakeParallelCompressor(&cipher, stamped ? &stamp : nullptr);
    const PlainReadEnd end = StreamPlainFile(in, length, compressor.get(), "compress", control);
    const bool compressed = end == PlainReadEnd::Done && compressor->Finish();
    compressor.reset();
    if (!compressed) {
        switch (end) {
            case PlainReadEnd::Stopped: return kCancelled;
            case PlainReadEnd::ReadFailed:
                return fail(kIoFailure, in.LastError(), kLogError,
                            "[encryptfile] when read %s, an file io error occurs.", src.c_str());
            case PlainReadEnd::Changed:
                return fail(kIoFailure, plat::IoError::InUse, kLogError,
                            "[encryptfile] when read %s, an file io error occurs.", src.c_str());
            default:
                return fail(kIoFailure, out.Data().LastError(), kLogError, "[encryptfile] write %s failed.",
                            dst.c_str());
        }
    }
    uint8_t size[8];
    PutLe(size, cipher.PayloadSize(), 8);
    if (!out.Data().Seek(164) || !out.Data().Write(size, sizeof size) || !out.Data().Flush())
        return fail(kIoFailure, out.Data().LastError(), kLogError, "[encryptfile] write %s failed.", dst.c_str());
    // The old locked file goes only once the new one, flushed, reads back
    // whole with the keys just used.
    if (g_beforeVerify) g_beforeVerify(out.Data());
    NullSink discard;
    WrittenKeys written{&keys, {}};
    SerializeHeader(h, written.header);
    PutLe(written.header + 164, cipher.PayloadSize(), 8);
    const EngineResult verified =
        ReadLockedFile(password, &written, out.Data(), &discard, locked.c_str(), log, "verify", nullptr, control);
    if (verified == kCancelled) return kCancelled;
    if (verified != kOk)
        return fail(kIoFailure, out.Data().LastError(), kLogError, "[LockOneFile] %s did not verify.", dst.c_str());
    // A read-only locked file is replaced like any other: the attribute is
    // cleared for the rename and the new file gets it back.
    const bool readOnly = target == plat::EntryKind::File && plat::IsReadOnly(locked);
    if (readOnly) plat::SetReadOnly(locked, false);
    if (!out.Publish(replaceExisting)) {
        if (readOnly) plat::SetReadOnly(locked, true);
        if (out.LastError() == plat::IoError::Exists)
            return fail(kDestinationExists, kLogWarn, "[encryptfile] %s already exist.", dst.c_str());
        return fail(kIoFailure, out.LastError(), kLogError, "[encryptfile] write %s failed.", dst.c_str());
    }
    if (readOnly) plat::SetReadOnly(locked, true);
    plat::SyncParentFolder(locked);
    return kOk;
}

}  // namespace corva
