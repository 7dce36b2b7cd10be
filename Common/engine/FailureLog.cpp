#include "engine/FailureLog.h"

#include <cstdarg>

namespace corva {

EngineResult FailureLog::operator()(EngineResult code, int32_t level, const char* format, ...) {
    if (log_) {
        va_list args;
        va_start(args, format);
        log_->WriteV(level, format, args);
        va_end(args);
    }
    return code;
}

EngineResult FailureLog::operator()(EngineResult code, plat::IoError cause, int32_t level, const char* format, ...) {
    if (log_) {
        va_list args;
        va_start(args, format);
        log_->WriteV(level, format, args);
        va_end(args);
    }
    return Cause(code, cause);
}

EngineResult FailureLog::Cause(EngineResult code, plat::IoError cause) const {
    if (control_) control_->cause = cause == plat::IoError::None ? plat::IoError::Io : cause;
    return code;
}

std::string LogName(const std::wstring& path) { return plat::WideToNarrow(path); }
std::string LogName(const wchar_t* path) { return plat::WideToNarrow(path ? path : L""); }

}  // namespace corva
