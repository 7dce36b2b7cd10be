// Unlocking into a working copy and locking it back over its locked file.
#include "engine/WorkingCopyPipeline.h"


#include "engine/BodyStream.h"
#include "engine/FailureLog.h"
#include "engine/HeaderKeys.h"
#include "engine/LockedCopyWriter.h"
#include "log/FileLog.h"
#include "platform/Platform.h"

namespace corva {

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
    // A working copy is meant to be edited: it never comes back read-only.
    return WritePlainCopy(in, locked, copy, password, false, true, fail);
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
    // The old locked file goes only once the new one, flushed, reads back
    // whole, in the rename that gives the new one its name.
    const EngineResult rc = WriteLockedCopy(in, plain, locked, password, replaceExisting, nullptr, fail);
    if (rc == kOk) plat::SyncParentFolder(locked);
    return rc;
}

}  // namespace corva
