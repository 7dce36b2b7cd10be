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

// Longest piece (time stamp, or message) written at once, with its end.
constexpr size_t kLogBufferSize = 32768;

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
    size_t n = std::strlen(text);
    if (n > kLogBufferSize - 1) n = kLogBufferSize - 1;
    std::fwrite(text, 1, n, f);
    std::fclose(f);
}

bool FileLog::WriteV(int32_t level, const char* format, va_list args) {
    // The line is put together in buffers of this call, so logs with
    // different locks (or none shared between threads) never meet.
    if (!enabled.load() || level < threshold.load() || fileName_.empty()) return true;
    std::string stamp(kLogBufferSize, '\0');
    std::string message(kLogBufferSize, '\0');
    plat::LocalTime t = plat::Now();
    std::snprintf(&stamp[0], kLogBufferSize, "[%s][%02d:%02d:%02d]", FileTag(level), t.hour, t.minute, t.second);
    std::vsnprintf(&message[0], kLogBufferSize, format, args);
    plat::MutexLock hold(lock_);
    Append(stamp.c_str());
    Append(message.c_str());
    Append("\n");
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
