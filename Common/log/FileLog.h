// The two diagnostic channels: DebugTrace (one time-stamped line to the
// debugger output) and FileLog (time-stamped lines appended to a text file
// under a lock that several processes can share). Neither fails towards its
// caller. Levels: 0 info, 1 warning, 2 error; any other level is tagged "----".
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <string>

#include "platform/Platform.h"

#if defined(__GNUC__)
#define CORVA_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define CORVA_PRINTF(fmt, args)
#endif

enum LogLevel : int32_t { kLogInfo = 0, kLogWarn = 1, kLogError = 2 };

// Sends "[hh:mm:ss][Tag]" + message, cut to 1023 characters, then "\n".
bool DebugTrace(int32_t level, const char* format, ...) CORVA_PRINTF(2, 3);
// Test hook: also hands every DebugTrace line (narrow, as formatted, without
// the "\n") to sink; nullptr removes it.
using TraceSink = void (*)(int32_t level, const char* line);
void SetTraceSinkForTesting(TraceSink sink);

class FileLog {
public:
    // lockName empty: an unnamed mutex; otherwise the named one is opened or
    // created, so that processes using the same name serialise their lines.
    FileLog(const std::string& fileName, const std::wstring& lockName);
    ~FileLog();
    FileLog(const FileLog&) = delete;
    FileLog& operator=(const FileLog&) = delete;

    bool Write(int32_t level, const char* format, ...) CORVA_PRINTF(3, 4);
    bool WriteV(int32_t level, const char* format, va_list args);

    // Both may be changed by any thread while others write.
    std::atomic<int32_t> threshold{0};  // lines below this level are dropped
    std::atomic<bool> enabled{true};    // while false nothing is written

    const std::string& FileName() const { return fileName_; }

private:
    void Append(const char* text);
    plat::Mutex lock_;
    std::string fileName_;
};

// Writes to the log when one is given; engine operations take an optional log.
bool LogTo(FileLog* log, int32_t level, const char* format, ...) CORVA_PRINTF(3, 4);
