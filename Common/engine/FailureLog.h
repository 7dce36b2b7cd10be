// One line per failure in the engine's file operations: a FailureLog writes
// the failure's log line (when the operation was given a log), notes the
// system's cause for the caller (when it asked, through PipelineControl) and
// hands back the result code, so that every failure reads
//     return fail(kIoFailure, in.LastError(), kLogWarn, "[encryptfile] open %s failed.", name);
// Nothing here fails or throws.
#pragma once

#include <cstdint>

#include "engine/LockedFile.h"
#include "log/FileLog.h"

namespace corva {

class FailureLog {
public:
    FailureLog(FileLog* log, PipelineControl* control) : log_(log), control_(control) {}

    // Logs the line and returns code.
    EngineResult operator()(EngineResult code, int32_t level, const char* format, ...) CORVA_PRINTF(4, 5);
    // Logs the line, notes the cause (plat::IoError::None: the generic Io)
    // and returns code.
    EngineResult operator()(EngineResult code, plat::IoError cause, int32_t level, const char* format, ...)
        CORVA_PRINTF(5, 6);
    // Notes the cause and returns code, without a line.
    EngineResult Cause(EngineResult code, plat::IoError cause) const;

    FileLog* Log() const { return log_; }
    PipelineControl* Control() const { return control_; }

private:
    FileLog* log_;
    PipelineControl* control_;
};

// The narrow form of a path for a log line.
std::string LogName(const std::wstring& path);
std::string LogName(const wchar_t* path);

}  // namespace corva
