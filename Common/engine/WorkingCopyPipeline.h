// The two pipelines a working copy needs: a locked file unlocked into a copy
// elsewhere (the locked file stays), and a copy locked again in place of the
// locked file it came from (the copy stays, for the caller to shred).
#pragma once

#include <string>

#include "engine/LockedFile.h"

class FileLog;

namespace corva {

// Deciphers and inflates the locked file into a pending file at copy, which
// takes that name (never replacing anything) only once the whole stream was
// valid and the data flushed; the plain file's attributes and times follow.
// The locked file is left as it is.
EngineResult UnlockCopy(const std::wstring& locked, const std::wstring& copy, const char* password, FileLog* log,
                        PipelineControl* control = nullptr);

// Locks plain into a pending file beside locked: written, flushed and read
// back whole, then renamed over locked in one step. Until that rename the
// old locked file is untouched; after it the new one is complete. The plain
// file is left as it is. A locked path that is a folder or a link is never
// replaced (kDestinationExists); without replaceExisting, neither is a file
// (the check and the naming are one step).
EngineResult RelockInPlace(const std::wstring& plain, const std::wstring& locked, const char* password,
                           bool replaceExisting, FileLog* log, PipelineControl* control = nullptr);

}  // namespace corva
