#include "FileLog.h"

#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

const char* TraceTag(int32_t level) {
    switch (level) {
        case 0: return "Info";
        case 1: return "Warn";
        case 2: return "Err ";
        default: return "----";
    }
}

const char* FileTag(int32_t level) {
    switch (level) {
        case 0: return "info";
        case 1: return "warn";
        case 2: return "err ";
        default: return "----";
    }
}

// Line assembly and file write buffers of the process; used only while a
// log's lock is held.
constexpr size_t kLogBufferSize = 32768;
char g_assembly[kLogBufferSize];
char g_write[kLogBufferSize];

FILE* OpenAppend(const std::string& name) {
#ifdef _WIN32
    return _wfopen(plat::NarrowToWide(name).c_str(), L"a+");
#else
    return std::fopen(name.c_str(), "a+");
#endif
}

std::atomic<TraceSink> g_traceSink{nullptr};

}  // namespace

void SetTraceSinkForTesting(TraceSink sink) { g_traceSink.store(sink); }

bool DebugTrace(int32_t level, const char* format, ...) {
    char line[1024];
    plat::LocalTime t = plat::Now();
    int prefix = std::snprintf(line, sizeof line, "[%02d:%02d:%02d][%s]", t.hour, t.minute, t.second,
                               TraceTag(level));
    if (prefix < 0) prefix = 0;
    va_list args;
    va_start(args, format);
    std::vsnprintf(line + prefix, sizeof line - static_cast<size_t>(prefix), format, args);
    va_end(args);
    line[sizeof line - 1] = '\0';
    if (TraceSink sink = g_traceSink.load()) sink(level, line);
    plat::DebuggerOutput(plat::NarrowToWide(line));
    plat::DebuggerOutput(L"\n");
    return true;
}

FileLog::FileLog(const std::string& fileName, const std::wstring& lockName)
    : lock_(lockName), fileName_(fileName) {}

FileLog::~FileLog() { fileName_.clear(); }

void FileLog::Append(const char* text) {
    if (fileName_.empty()) return;
    FILE* f = OpenAppend(fileName_);
    if (!f) return;
    std::memset(g_write, 0, sizeof g_write);
    size_t n = std::strlen(text);
    if (n > sizeof g_write - 1) n = sizeof g_write - 1;
    std::memcpy(g_write, text, n);
    std::fwrite(g_write, 1, n, f);
    std::fclose(f);
}

bool FileLog::WriteV(int32_t level, const char* format, va_list args) {
    plat::MutexLock hold(lock_);
    if (enabled && level >= threshold) {
        if (!fileName_.empty()) {
            plat::LocalTime t = plat::Now();
            std::memset(g_assembly, 0, sizeof g_assembly);
            std::snprintf(g_assembly, sizeof g_assembly, "[%s][%02d:%02d:%02d]", FileTag(level), t.hour, t.minute,
                          t.second);
            Append(g_assembly);
            std::memset(g_assembly, 0, sizeof g_assembly);
            std::vsnprintf(g_assembly, sizeof g_assembly, format, args);
            Append(g_assembly);
        }
        Append("\n");
    }
    return true;
}

bool FileLog::Write(int32_t level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteV(level, format, args);
    va_end(args);
    return true;
}

bool LogTo(FileLog* log, int32_t level, const char* format, ...) {
    if (!log) return true;
    va_list args;
    va_start(args, format);
    log->WriteV(level, format, args);
    va_end(args);
    return true;
}
