#include "SettingsFileIo.h"

#include <windows.h>

#include <vector>

#include "log/FileLog.h"
#include "platform/Platform.h"

namespace plat::detail {
bool ChargeWriteBudget(size_t size);
}

namespace corva::settings_io {

namespace {

// Errors another program's open handle causes; waiting may mend them. A
// file that is being replaced or deleted by someone else answers with
// access denied for a moment as well.
bool IsBusy(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED;
}

enum class Outcome { Done, Busy, Failed };

// Calls attempt until it is done or fails, or until the patience is spent
// while it finds the file busy. The first wait is traced, and so is a
// failure with its system error.
template <typename Attempt>
bool Patiently(const std::wstring& path, const char* what, Attempt attempt) {
    const ULONGLONG end = ::GetTickCount64() + kPatienceMilliseconds;
    DWORD pause = 10;
    for (int round = 0;; ++round) {
        DWORD error = ERROR_SUCCESS;
        Outcome outcome = attempt(&error);
        if (outcome == Outcome::Done) return true;
        if (outcome == Outcome::Failed || ::GetTickCount64() >= end) {
            if (error != ERROR_SUCCESS) {
                DebugTrace(kLogError, "%s failed{pchFileName='%s',::GetLastError()=%lu}", what,
                           plat::WideToNarrow(path).c_str(), static_cast<unsigned long>(error));
            }
            return false;
        }
        if (round == 0) {
            DebugTrace(kLogWarn, "config.xml in use, trying again{pchFileName='%s',::GetLastError()=%lu}",
                       plat::WideToNarrow(path).c_str(), static_cast<unsigned long>(error));
        }
        ::Sleep(pause);
        if (pause < 100) pause *= 2;
    }
}

// Busy when the error is one an open handle elsewhere causes and the file
// is there and writable (a read-only file or a folder never stops being so).
Outcome Judge(DWORD error, const std::wstring& path) {
    if (!IsBusy(error)) return Outcome::Failed;
    DWORD a = ::GetFileAttributesW(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES || (a & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        return Outcome::Failed;
    }
    return Outcome::Busy;
}

class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (h_ != INVALID_HANDLE_VALUE) ::CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE Get() const { return h_; }
    bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE h_;
};

bool WriteAllAt0(HANDLE file, const std::string& bytes) {
    LARGE_INTEGER zero{};
    if (!::SetFilePointerEx(file, zero, nullptr, FILE_BEGIN)) return false;
    if (!plat::detail::ChargeWriteBudget(bytes.size())) {
        ::SetLastError(ERROR_DISK_FULL);
        return false;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD n = 0;
        DWORD chunk = static_cast<DWORD>(bytes.size() - done > 0x100000 ? 0x100000 : bytes.size() - done);
        if (!::WriteFile(file, bytes.data() + done, chunk, &n, nullptr) || n == 0) return false;
        done += n;
    }
    return ::SetEndOfFile(file) && ::FlushFileBuffers(file);
}

}  // namespace

Probe ProbeForReading(const std::wstring& path) {
    Probe result = Probe::Refused;
    Patiently(path, "open for reading", [&](DWORD* error) {
        // The same sharing a reader of the settings file asks for.
        HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            ::CloseHandle(h);
            result = Probe::Readable;
            return Outcome::Done;
        }
        DWORD e = ::GetLastError();
        if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) {
            result = Probe::Missing;
            return Outcome::Failed;
        }
        Outcome outcome = Judge(e, path);
        result = outcome == Outcome::Busy ? Probe::Busy : Probe::Refused;
        *error = e;
        return outcome;
    });
    return result;
}

bool ReplacePatiently(const std::wstring& from, const std::wstring& to) {
    return Patiently(to, "::MoveFileEx", [&](DWORD* error) {
        if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return Outcome::Done;
        }
        *error = ::GetLastError();
        return Judge(*error, to);
    });
}

bool RewriteInPlace(const std::wstring& path, const std::string& bytes) {
    return Patiently(path, "rewrite in place", [&](DWORD* error) {
        // No sharing: readers wait (or fail) rather than see a part.
        Handle file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!file.Valid()) {
            *error = ::GetLastError();
            return Judge(*error, path);
        }
        BY_HANDLE_FILE_INFORMATION info{};
        if (!::GetFileInformationByHandle(file.Get(), &info) ||
            (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
            info.nFileSizeHigh != 0 || info.nFileSizeLow > (64u << 20)) {
            *error = ERROR_INVALID_PARAMETER;
            return Outcome::Failed;
        }
        std::string old(info.nFileSizeLow, '\0');
        DWORD got = 0;
        if (!old.empty() && (!::ReadFile(file.Get(), &old[0], static_cast<DWORD>(old.size()), &got, nullptr) ||
                             got != old.size())) {
            *error = ::GetLastError();
            return Outcome::Failed;
        }
        if (WriteAllAt0(file.Get(), bytes)) return Outcome::Done;
        *error = ::GetLastError();
        // What was there before is put back as well as it can be.
        WriteAllAt0(file.Get(), old);
        return Outcome::Failed;
    });
}

}  // namespace corva::settings_io
