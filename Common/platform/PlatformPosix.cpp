// POSIX side of the platform layer (Linux). Wide paths are UTF-8 on disk.
#include "Platform.h"

#include <openssl/rand.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <mutex>
#include <semaphore.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat {

namespace detail {
bool ChargeWriteBudget(size_t size);
bool TakeReadFault(IoError* error, bool* outcome);
extern std::atomic<bool> g_unnamedFiles;
}

namespace {

std::string Native(const std::wstring& path) { return WideToUtf8(path); }

IoError FromErrno(int e) {
    switch (e) {
        case ENOENT:
        case ENOTDIR: return IoError::NotFound;
        case EEXIST: return IoError::Exists;
        case EACCES:
        case EPERM:
        case EROFS: return IoError::Access;
        case ETXTBSY: return IoError::InUse;
        case ENOSPC:
        case EDQUOT:
        case EFBIG: return IoError::NoSpace;
        case ENODEV:
        case ENXIO:
        case ENOMEDIUM:
        case ESTALE:
        case ENOTCONN: return IoError::DriveGone;
        case ENAMETOOLONG: return IoError::NameTooLong;
        default: return IoError::Io;
    }
}

}  // namespace

File::~File() {
    if (fd_ >= 0) ::close(fd_);
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.fd_;
        error_ = other.error_;
        other.fd_ = -1;
    }
    return *this;
}

void File::Fail() { error_ = FromErrno(errno); }

bool File::Open(const std::wstring& path, Mode mode) {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    int flags = O_CLOEXEC;
    switch (mode) {
        case Mode::Read: flags |= O_RDONLY; break;
        case Mode::CreateAlways: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
        case Mode::CreateNew: flags |= O_RDWR | O_CREAT | O_EXCL; break;
        case Mode::ReadWrite: flags |= O_RDWR; break;
    }
    // Never open through a symbolic link: the engine works on real files
    // only. Opening does not wait: a FIFO met here (swapped in after its
    // name was checked) must not block, and is refused below.
    flags |= O_NOFOLLOW | O_NONBLOCK;
    fd_ = ::open(Native(path).c_str(), flags, 0666);
    if (fd_ < 0) {
        Fail();
        return false;
    }
    struct stat st;
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EACCES;
        Fail();
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    error_ = IoError::None;
    return true;
}

bool File::IsOpen() const { return fd_ >= 0; }

bool File::Read(void* buffer, size_t size, size_t* got) {
    *got = 0;
    if (bool outcome = false; detail::TakeReadFault(&error_, &outcome)) return outcome;
    for (;;) {
        ssize_t n = ::read(fd_, buffer, size);
        if (n >= 0) {
            *got = static_cast<size_t>(n);
            return true;
        }
        if (errno != EINTR) {
            Fail();
            return false;
        }
    }
}

bool File::ReadAt(int64_t offset, void* buffer, size_t size, size_t* got, IoError* error) const {
    *got = 0;
    *error = IoError::None;
    if (bool outcome = false; detail::TakeReadFault(error, &outcome)) return outcome;
    auto* out = static_cast<unsigned char*>(buffer);
    while (*got < size) {
        const ssize_t n = ::pread(fd_, out + *got, size - *got, static_cast<off_t>(offset) + static_cast<off_t>(*got));
        if (n == 0) break;
        if (n > 0) {
            *got += static_cast<size_t>(n);
        } else if (errno != EINTR) {
            *error = FromErrno(errno);
            return false;
        }
    }
    return true;
}

bool File::Write(const void* buffer, size_t size) {
    if (!detail::ChargeWriteBudget(size)) {
        error_ = IoError::NoSpace;
        return false;
    }
    const auto* p = static_cast<const unsigned char*>(buffer);
    while (size > 0) {
        ssize_t n = ::write(fd_, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail();
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool File::Seek(int64_t offset) {
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) {
        Fail();
        return false;
    }
    return true;
}

bool File::Size(int64_t* size) const {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return false;
    *size = static_cast<int64_t>(st.st_size);
    return true;
}

bool File::Stamp(FileStamp* stamp) const {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return false;
    *stamp = FileStamp();
    stamp->attributesKnown = kAttributeReadOnly;
    stamp->attributes = (st.st_mode & S_IWUSR) ? 0 : kAttributeReadOnly;
    stamp->modifiedKnown = true;
    stamp->modified.seconds = static_cast<int64_t>(st.st_mtim.tv_sec);
    stamp->modified.nanoseconds = static_cast<uint32_t>(st.st_mtim.tv_nsec);
    return true;
}

bool File::Flush() {
    if (::fsync(fd_) != 0) {
        Fail();
        return false;
    }
    return true;
}

void File::StartWriteBack(int64_t offset, int64_t length) {
#ifdef __linux__
    // Errors here are not the caller's: Flush reports them.
    if (fd_ >= 0 && length > 0)
        (void)::sync_file_range(fd_, static_cast<off_t>(offset), static_cast<off_t>(length), SYNC_FILE_RANGE_WRITE);
#else
    (void)offset;
    (void)length;
#endif
}

bool File::Close() {
    if (fd_ < 0) return true;
    int rc = ::close(fd_);
    fd_ = -1;
    if (rc != 0 && errno != EINTR) {
        Fail();
        return false;
    }
    return true;
}

bool PathExists(const std::wstring& path) {
    struct stat st;
    return ::lstat(Native(path).c_str(), &st) == 0;
}

bool IsDirectory(const std::wstring& path) {
    struct stat st;
    return ::lstat(Native(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

EntryKind KindOf(const std::wstring& path) {
    struct stat st;
    if (::lstat(Native(path).c_str(), &st) != 0) return EntryKind::Missing;
    if (S_ISREG(st.st_mode)) return EntryKind::File;
    if (S_ISDIR(st.st_mode)) return EntryKind::Folder;
    if (S_ISLNK(st.st_mode)) return EntryKind::Link;
    return EntryKind::Special;
}

bool FileSize(const std::wstring& path, int64_t* size) {
    struct stat st;
    if (::lstat(Native(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    *size = static_cast<int64_t>(st.st_size);
    return true;
}

bool RemoveFile(const std::wstring& path) {
    return ::unlink(Native(path).c_str()) == 0;
}

bool CreateFolder(const std::wstring& path) { return ::mkdir(Native(path).c_str(), 0777) == 0; }

bool RemoveFolder(const std::wstring& path) {
    std::string n = Native(path);
    struct stat st;
    if (::lstat(n.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    return ::rmdir(n.c_str()) == 0;
}

bool RemoveLink(const std::wstring& path) {
    std::string n = Native(path);
    struct stat st;
    if (::lstat(n.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return false;
    return ::unlink(n.c_str()) == 0;
}

bool SyncParentFolder(const std::wstring& path) {
    int fd = ::open(Native(ParentFolder(path)).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool RenameReplacing(const std::wstring& from, const std::wstring& to) {
    if (::rename(Native(from).c_str(), Native(to).c_str()) != 0) return false;
    SyncParentFolder(to);
    return true;
}

bool RenameNoReplace(const std::wstring& from, const std::wstring& to) {
    std::string f = Native(from), t = Native(to);
    // A hard link claims the new name atomically; file systems without
    // links (FAT on removable drives) fall back to a checked rename.
    if (::link(f.c_str(), t.c_str()) == 0) {
        ::unlink(f.c_str());
        SyncParentFolder(to);
        return true;
    }
    if (errno == EEXIST) return false;
    struct stat st;
    if (::lstat(t.c_str(), &st) == 0 || errno != ENOENT) return false;
    if (::rename(f.c_str(), t.c_str()) != 0) return false;
    SyncParentFolder(to);
    return true;
}

bool IsReadOnly(const std::wstring& path) {
    struct stat st;
    return ::lstat(Native(path).c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0;
}

bool SetReadOnly(const std::wstring& path, bool readOnly) {
    std::string n = Native(path);
    struct stat st;
    if (::lstat(n.c_str(), &st) != 0 || S_ISLNK(st.st_mode)) return false;
    mode_t mode = st.st_mode & 07777;
    mode = readOnly ? (mode & ~static_cast<mode_t>(0222)) : (mode | S_IWUSR);
    return ::chmod(n.c_str(), mode) == 0;
}

bool ApplyStamp(const std::wstring& path, const FileStamp& stamp) {
    bool ok = true;
    if (stamp.modifiedKnown) {
        struct timespec times[2];
        times[0].tv_sec = 0;
        times[0].tv_nsec = UTIME_OMIT;  // the access time stays as it is
        times[1].tv_sec = static_cast<time_t>(stamp.modified.seconds);
        times[1].tv_nsec = static_cast<long>(stamp.modified.nanoseconds);
        ok = stamp.modified.nanoseconds < 1000000000u &&
             static_cast<int64_t>(times[1].tv_sec) == stamp.modified.seconds &&
             ::utimensat(AT_FDCWD, Native(path).c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
    }
    if (stamp.attributesKnown & kAttributeReadOnly) {
        const bool readOnly = (stamp.attributes & kAttributeReadOnly) != 0;
        if (IsReadOnly(path) != readOnly) ok = SetReadOnly(path, readOnly) && ok;
    }
    return ok;
}

wchar_t PathSeparator() { return L'/'; }

// ---------------------------------------------------------------- pending files
namespace {

// Gives an unnamed file a name: through /proc (any user), or by its
// descriptor (needs the right to read any file). Fails when the name exists.
bool LinkUnnamed(int fd, const std::string& name) {
    char proc[64];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
    if (::linkat(AT_FDCWD, proc, AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
    if (errno == EEXIST) return false;
    return ::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0;
}

}  // namespace

bool PendingFile::Create(const std::wstring& target) {
    Discard();
    target_ = target;
    temp_.clear();
    error_ = IoError::None;
    const std::string folder = Native(ParentFolder(target));
    int fd = -1;
    if (detail::g_unnamedFiles.load()) {
        fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    } else {
        errno = EOPNOTSUPP;
    }
    if (fd >= 0) {
        file_.fd_ = fd;
        file_.error_ = IoError::None;
        open_ = true;
        return true;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        error_ = FromErrno(errno);
        return false;
    }
    // No unnamed files here (FAT, some network file systems).
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::wstring temp = TemporaryName(target);
        if (temp.empty()) break;
        if (file_.Open(temp, File::Mode::CreateNew)) {
            temp_ = temp;
            open_ = true;
            return true;
        }
        if (file_.LastError() != IoError::Exists) break;
    }
    error_ = file_.LastError() == IoError::None ? IoError::Io : file_.LastError();
    return false;
}

bool PendingFile::Publish(bool replaceExisting) {
    if (!open_) return false;
    if (!file_.Flush()) {
        error_ = file_.LastError();
        Discard();
        return false;
    }
    const std::string target = Native(target_);
    bool ok = false;
    if (temp_.empty()) {
        // Straight to its name when nothing is there: no temporary name,
        // so a process killed here leaves nothing behind.
        ok = LinkUnnamed(file_.fd_, target);
        const bool taken = !ok && errno == EEXIST;
        error_ = ok ? IoError::None : FromErrno(errno);
        if (taken && replaceExisting) {
            // A name is needed for the atomic replace: the complete file
            // holds one only for the moment between link and rename (a
            // kill then leaves a copy that the stale-temporary cleanup
            // removes when it matches the file it replaces).
            error_ = IoError::None;
            const std::wstring temp = TemporaryName(target_);
            const std::string t = Native(temp);
            ok = !temp.empty() && LinkUnnamed(file_.fd_, t);
            if (ok && ::rename(t.c_str(), target.c_str()) != 0) {
                error_ = FromErrno(errno);
                ::unlink(t.c_str());
                ok = false;
            }
            if (!ok && error_ == IoError::None) error_ = FromErrno(errno);
        }
    } else {
        ok = replaceExisting ? ::rename(Native(temp_).c_str(), target.c_str()) == 0
                             : RenameNoReplace(temp_, target_);
        if (!ok) error_ = PathExists(target_) && !replaceExisting ? IoError::Exists : FromErrno(errno);
        else temp_.clear();
    }
    if (!ok) {
        Discard();
        return false;
    }
    open_ = false;
    SyncParentFolder(target_);
    file_.Close();  // the data reached the disk before the name did
    return true;
}

void PendingFile::Discard() {
    if (!open_) return;
    file_.Close();
    if (!temp_.empty()) ::unlink(Native(temp_).c_str());
    temp_.clear();
    open_ = false;
}

bool CreateGuid(Guid* guid) {
    unsigned char b[16];
    if (RAND_bytes(b, sizeof b) != 1) return false;
    b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);  // version 4
    b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);  // variant
    guid->data1 = (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
    guid->data2 = static_cast<uint16_t>((b[4] << 8) | b[5]);
    guid->data3 = static_cast<uint16_t>((b[6] << 8) | b[7]);
    for (int i = 0; i < 8; ++i) guid->data4[i] = b[8 + i];
    return true;
}

std::wstring ModulePath() {
    // The shared object or program that holds this function.
    Dl_info info;
    if (::dladdr(reinterpret_cast<void*>(&ModulePath), &info) != 0 && info.dli_fname &&
        info.dli_fname[0] == '/') {
        return Utf8ToWide(info.dli_fname);
    }
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return std::wstring();
    buf[n] = 0;
    return Utf8ToWide(buf);
}

std::wstring NarrowToWide(const std::string& text) { return Utf8ToWide(text); }
std::string WideToNarrow(const std::wstring& text) { return WideToUtf8(text); }
std::u16string NarrowToUtf16(const std::string& text) { return WideToUtf16(Utf8ToWide(text)); }

// Named mutexes are POSIX named semaphores with one token, so that several
// processes can share them; unnamed ones are an ordinary mutex.
struct Mutex::Impl {
    std::mutex local;
    sem_t* sem = nullptr;
};

Mutex::Mutex(const std::wstring& name) : impl_(new Impl) {
    if (!name.empty()) {
        std::string n = "/";
        for (char c : WideToUtf8(name)) n.push_back(c == '/' || c == ' ' ? '_' : c);
        sem_t* s = ::sem_open(n.c_str(), O_CREAT | O_EXCL, 0600, 1);
        if (s != SEM_FAILED) {
            createdNew_ = true;
        } else {
            s = ::sem_open(n.c_str(), 0);
        }
        impl_->sem = s == SEM_FAILED ? nullptr : s;
    }
}

Mutex::~Mutex() {
    if (impl_->sem) ::sem_close(impl_->sem);
    delete impl_;
}

bool Mutex::Valid() const { return true; }

void Mutex::Lock() {
    if (impl_->sem) {
        while (::sem_wait(impl_->sem) != 0 && errno == EINTR) {
        }
    } else {
        impl_->local.lock();
    }
}

void Mutex::Unlock() {
    if (impl_->sem) {
        ::sem_post(impl_->sem);
    } else {
        impl_->local.unlock();
    }
}

LocalTime Now() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&t, &tm);
    return LocalTime{tm.tm_hour, tm.tm_min, tm.tm_sec};
}

Library::~Library() { Unload(); }

bool Library::Load(const std::wstring& path) {
    Unload();
    handle_ = ::dlopen(Native(path).c_str(), RTLD_NOW | RTLD_LOCAL);
    return handle_ != nullptr;
}

Library::Proc Library::Symbol(const char* name) const {
    if (!handle_) return nullptr;
    return reinterpret_cast<Proc>(::dlsym(handle_, name));
}

void Library::Unload() {
    if (handle_) ::dlclose(handle_);
    handle_ = nullptr;
}

void DebuggerOutput(const std::wstring& text) {
    std::string s = WideToUtf8(text);
    std::fwrite(s.data(), 1, s.size(), stderr);
}

ComScope::ComScope() {}

ComScope::~ComScope() {}

}  // namespace plat


namespace plat {

bool ListFolder(const std::wstring& folder, std::vector<std::wstring>* names, IoError* error) {
    names->clear();
    DIR* d = ::opendir(WideToUtf8(folder).c_str());
    if (!d) {
        if (error) *error = FromErrno(errno);
        return false;
    }
    while (dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        names->push_back(Utf8ToWide(e->d_name));
    }
    ::closedir(d);
    if (error) *error = IoError::None;
    return true;
}

IoError LastIoError() { return FromErrno(errno); }

IoError ProbeEntry(const std::wstring& path) {
    struct stat st;
    if (::lstat(Native(path).c_str(), &st) == 0) return IoError::None;
    return FromErrno(errno);
}

bool GetFileId(const std::wstring& path, FileId* id) {
    struct stat st;
    if (::lstat(Native(path).c_str(), &st) != 0) return false;
    id->volume = static_cast<uint64_t>(st.st_dev);
    id->index = static_cast<uint64_t>(st.st_ino);
    return true;
}

std::wstring ShortPathName(const std::wstring&) { return std::wstring(); }

}  // namespace plat
