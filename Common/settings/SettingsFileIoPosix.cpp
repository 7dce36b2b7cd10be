#include "SettingsFileIo.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "log/FileLog.h"
#include "platform/Platform.h"

namespace plat::detail {
bool ChargeWriteBudget(size_t size);
}

// Open files never keep others from reading, replacing or writing them
// here, so nothing waits: each operation is one attempt.
namespace corva::settings_io {

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

bool WriteAllAt0(int fd, const std::string& bytes) {
    if (!plat::detail::ChargeWriteBudget(bytes.size())) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 && ::fsync(fd) == 0;
}

}  // namespace

Probe ProbeForReading(const std::wstring& path) {
    Descriptor file(::open(plat::WideToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (file.Get() < 0) return errno == ENOENT ? Probe::Missing : Probe::Refused;
    // Only a regular file is a settings file; a folder or a device is not.
    struct stat st {};
    return ::fstat(file.Get(), &st) == 0 && S_ISREG(st.st_mode) ? Probe::Readable : Probe::Refused;
}

bool ReplacePatiently(const std::wstring& from, const std::wstring& to) { return plat::RenameReplacing(from, to); }

bool RewriteInPlace(const std::wstring& path, const std::string& bytes) {
    Descriptor file(::open(plat::WideToUtf8(path).c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat st {};
    if (file.Get() < 0 || ::fstat(file.Get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > (64 << 20)) {
        DebugTrace(kLogError, "rewrite in place failed{pchFileName='%s',errno=%d}", plat::WideToNarrow(path).c_str(),
                   errno);
        return false;
    }
    std::string old(static_cast<size_t>(st.st_size), '\0');
    size_t got = 0;
    while (got < old.size()) {
        ssize_t n = ::pread(file.Get(), &old[got], old.size() - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        got += static_cast<size_t>(n);
    }
    if (WriteAllAt0(file.Get(), bytes)) return true;
    DebugTrace(kLogError, "rewrite in place failed{pchFileName='%s',errno=%d}", plat::WideToNarrow(path).c_str(), errno);
    // What was there before is put back as well as it can be.
    WriteAllAt0(file.Get(), old);
    return false;
}

}  // namespace corva::settings_io
