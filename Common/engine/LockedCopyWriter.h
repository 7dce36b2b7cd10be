// The writers of a locked file and of a plain one, shared by the lock and
// unlock pipelines and by the working copies (unlocked beside, locked again).
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

// Deciphers and inflates the open locked file `in` into a pending file at
// plain, which takes that name (replacing a file of that name only with
// replaceExisting) only once the whole stream was valid and the data
// flushed; then the plain file's attributes and times are set (without the
// read-only one when writable). The locked file is left as it is.
EngineResult WritePlainCopy(plat::File& in, const std::wstring& locked, const std::wstring& plain, const char* password,
                            bool replaceExisting, bool writable, FailureLog& fail);

}  // namespace corva
