// OpenSupport on POSIX systems.
#include "platform/OpenSupport.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <vector>

#include "platform/Platform.h"

extern char** environ;

namespace plat {

std::wstring LocalAppDataFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/') return NarrowToWide(data);
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') return std::wstring();
    return JoinPath(JoinPath(NarrowToWide(home), L".local"), L"share");
}

bool MakePrivateFolder(const std::wstring& folder) {
    const std::string path = WideToNarrow(folder);
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    // Opened without following a link, then changed through the handle: a
    // name swapped for a link meanwhile is never followed.
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    const bool ok = ::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() && ::fchmod(fd, 0700) == 0;
    ::close(fd);
    return ok;
}

bool IsPrivateFolder(const std::wstring& folder) {
    struct stat st {};
    if (::lstat(WideToNarrow(folder).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    return st.st_uid == ::geteuid() && (st.st_mode & 07777) == 0700;
}

FileUse ProbeFileUse(const std::wstring& path) {
    const int fd = ::open(WideToNarrow(path).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? FileUse::Missing : FileUse::Unknown;
    FileUse use = FileUse::Free;
    if (::fcntl(fd, F_SETLEASE, F_WRLCK) == 0) {
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
    } else {
        use = (errno == EAGAIN || errno == EBUSY) ? FileUse::InUse : FileUse::Unknown;
    }
    ::close(fd);
    return use;
}

ChildProcess::~ChildProcess() {
    // A program still running is left to run; one that has ended is reaped.
    if (pid_ > 0) ::waitpid(pid_, nullptr, WNOHANG);
}

bool ChildProcess::Open(const std::wstring& file, const std::wstring& program) {
    std::string exe = program.empty() ? std::string("xdg-open") : WideToNarrow(program);
    std::string arg = WideToNarrow(file);
    std::vector<char*> argv{&exe[0], &arg[0], nullptr};
    pid_t pid = -1;
    if (::posix_spawnp(&pid, exe.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return false;
    pid_ = pid;
    return true;
}

bool ChildProcess::HasProcess() const { return pid_ > 0; }

bool ChildProcess::Running() {
    if (pid_ <= 0) return false;
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == 0) return true;
    pid_ = -1;  // ended (or not ours to wait for any more)
    return false;
}

void SleepMilliseconds(uint32_t milliseconds) {
    struct timespec ts {};
    ts.tv_sec = static_cast<time_t>(milliseconds / 1000);
    ts.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

}  // namespace plat
