// The one writer of a locked file, shared by the lock pipeline and the
// relock of a working copy.
#pragma once

#include <string>

#include "engine/FailureLog.h"
#include "engine/LockedFile.h"
#include "platform/Platform.h"

namespace corva {

// Compresses and enciphers the open plain file `in` into a pending file at
// locked, flushes it and reads it back whole with the keys just used; only
// then does the pending file take the name locked. A file of that name is
// replaced (in one rename, a read-only one keeping its attribute) only with
// replaceExisting. Until that rename nothing but the pending file has been
// written; the plain file is left as it is, still open. Keys come from
// source when given, else from password. Failures are logged through fail.
EngineResult WriteLockedCopy(plat::File& in, const std::wstring& plain, const std::wstring& locked, const char* password,
                             bool replaceExisting, LockKeySource* source, FailureLog& fail);

}  // namespace corva
