// What opening a file in another program needs from the system: the user's
// local application-data folder, a folder only the current user can enter,
// whether some program still holds a file, and a program started on a file
// whose process is kept to be watched. Nothing here throws.
#pragma once

#include <cstdint>
#include <string>

namespace plat {

// The current user's local application-data folder: on Windows the shell's
// CSIDL_LOCAL_APPDATA; elsewhere $XDG_DATA_HOME, or ~/.local/share. Empty
// when it cannot be found.
std::wstring LocalAppDataFolder();

// Makes folder (its parent must exist) one that only the current user can
// open: created when missing; when it exists its permissions are set again.
// POSIX: mode 0700. Windows: a protected DACL (nothing inherited) with one
// entry, full control for the current user, inherited by what is created
// inside. False when the name is a link or a file, or the permissions
// cannot be set.
bool MakePrivateFolder(const std::wstring& folder);
// Whether folder has exactly those permissions.
bool IsPrivateFolder(const std::wstring& folder);

// Whether any program holds a file open, found by asking for it exclusively
// (Windows: no sharing; Linux: a write lease, which only the sole opener
// gets). Unknown: the system cannot tell (no leases on that file system).
enum class FileUse { Free, InUse, Missing, Unknown };
FileUse ProbeFileUse(const std::wstring& path);

// A program started on a file, with its process kept where the system gives
// one (a document handed to a program through a DDE conversation has none).
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Opens file with program, or with its default program when program is
    // empty (Windows: ShellExecuteExW with its process kept, which needs COM
    // on the calling thread; elsewhere: xdg-open). False when nothing could
    // be started.
    bool Open(const std::wstring& file, const std::wstring& program);
    // Whether a process was kept.
    bool HasProcess() const;
    // True while the kept process runs; false once it has ended, or when
    // there is none. Never waits.
    bool Running();

private:
#ifdef _WIN32
    void* process_ = nullptr;
#else
    int pid_ = -1;
#endif
};

// Blocks the calling thread for a while (worker threads and the
// command-line tool only; never a window's thread).
void SleepMilliseconds(uint32_t milliseconds);

}  // namespace plat
