// Win32 side of the platform layer. Every call uses the wide (W) APIs, so
// names outside the ANSI code page work.
#include "Platform.h"

#include <windows.h>
#include <objbase.h>

#include <atomic>
#include <cstring>
#include <cwchar>
#include <vector>

namespace plat {

namespace detail {
bool ChargeWriteBudget(size_t size);
bool TakeReadFault(IoError* error, bool* outcome);
extern std::atomic<bool> g_shortNames;
}

namespace {

IoError FromWin32(DWORD e) {
    switch (e) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_NETPATH: return IoError::NotFound;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return IoError::Exists;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT: return IoError::Access;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_USER_MAPPED_FILE: return IoError::InUse;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
        case 1295 /* ERROR_DISK_QUOTA_EXCEEDED */: return IoError::NoSpace;
        case ERROR_NOT_READY:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_UNIT:
        case ERROR_WRONG_DISK:
        case ERROR_NETNAME_DELETED:
        case ERROR_UNRECOGNIZED_VOLUME:
        case ERROR_NO_MEDIA_IN_DRIVE:
        case ERROR_MEDIA_CHANGED:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_DEVICE_REMOVED: return IoError::DriveGone;
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_BUFFER_OVERFLOW: return IoError::NameTooLong;
        default: return IoError::Io;
    }
}

// From this length on a path is handed to the system in its long form
// ("\\?\C:\..."), which has no MAX_PATH limit; below it (CreateDirectory's
// limit is MAX_PATH - 12) the path goes as it is. The long form is made from
// the full path, so that "." and ".." and forward slashes are resolved
// first (the system takes a long-form path literally).
constexpr size_t kLongFormFrom = MAX_PATH - 12;

std::wstring Long(const std::wstring& path) {
    if (path.size() < kLongFormFrom || path.compare(0, 4, L"\\\\?\\") == 0 || path.compare(0, 4, L"\\\\.\\") == 0)
        return path;
    DWORD n = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::wstring full(n, L'\0');
    n = ::GetFullPathNameW(path.c_str(), n, &full[0], nullptr);
    if (n == 0 || n >= full.size()) return path;
    full.resize(n);
    if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

DWORD Attributes(const std::wstring& path) { return ::GetFileAttributesW(Long(path).c_str()); }

// The reparse tag of an open handle; 0 when it cannot be read.
uint32_t ReparseTag(HANDLE h) {
    FILE_ATTRIBUTE_TAG_INFO tag;
    std::memset(&tag, 0, sizeof tag);
    if (!::GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag)) return 0;
    return tag.ReparseTag;
}

bool SameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION x, y;
    return ::GetFileInformationByHandle(a, &x) && ::GetFileInformationByHandle(b, &y) &&
           x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
           x.nFileIndexLow == y.nFileIndexLow;
}

bool SetDeleteMark(HANDLE h, bool remove) {
    FILE_DISPOSITION_INFO disposition;
    disposition.DeleteFile = remove ? TRUE : FALSE;
    return ::SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

// 100-nanosecond ticks from 1601-01-01 (FILETIME's start) to 1970-01-01.
constexpr int64_t kTicksBefore1970 = 116444736000000000LL;
constexpr int64_t kTicksPerSecond = 10000000;

FileTime FromTicks(int64_t ticks) {
    ticks -= kTicksBefore1970;
    int64_t seconds = ticks / kTicksPerSecond, rest = ticks % kTicksPerSecond;
    if (rest < 0) {
        rest += kTicksPerSecond;
        --seconds;
    }
    FileTime t;
    t.seconds = seconds;
    t.nanoseconds = static_cast<uint32_t>(rest) * 100;
    return t;
}

FileTime FromFileTime(const FILETIME& ft) {
    return FromTicks(static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime));
}

// False when the moment lies outside what a FILETIME holds (or is its 0,
// which would mean "leave unchanged").
bool ToTicks(const FileTime& t, LARGE_INTEGER* out) {
    const int64_t lowest = -kTicksBefore1970 / kTicksPerSecond;
    const int64_t highest = (INT64_MAX - kTicksBefore1970) / kTicksPerSecond - 1;
    if (t.nanoseconds >= 1000000000u || t.seconds < lowest || t.seconds > highest) return false;
    const int64_t ticks = kTicksBefore1970 + t.seconds * kTicksPerSecond + t.nanoseconds / 100;
    if (ticks <= 0) return false;
    out->QuadPart = ticks;
    return true;
}

// The attributes a file keeps with its content, and those that
// SetFileInformationByHandle accepts besides.
constexpr DWORD kStampAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                   FILE_ATTRIBUTE_ARCHIVE;
constexpr DWORD kSettableAttributes = kStampAttributes | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED |
                                      FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_TEMPORARY;

}  // namespace

File::~File() {
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
        handle_ = other.handle_;
        position_ = other.position_;
        error_ = other.error_;
        other.handle_ = INVALID_HANDLE_VALUE;
    }
    return *this;
}

void File::Fail() { error_ = FromWin32(::GetLastError()); }

bool File::Open(const std::wstring& path, Mode mode) {
    if (handle_ != INVALID_HANDLE_VALUE) {
        ::CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
    DWORD access = GENERIC_READ;
    DWORD disposition = OPEN_EXISTING;
    switch (mode) {
        case Mode::Read: break;
        case Mode::CreateAlways: access |= GENERIC_WRITE; disposition = CREATE_ALWAYS; break;
        case Mode::CreateNew: access |= GENERIC_WRITE; disposition = CREATE_NEW; break;
        case Mode::ReadWrite: access |= GENERIC_WRITE; break;
    }
    // Reparse points are first opened as themselves, never followed: a link
    // is refused; any other reparse point (a cloud placeholder, a
    // deduplicated or compressed file) is opened again normally, so that its
    // data is read and written through its filter, and must still be the
    // same file.
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_DELETE;
    const DWORD attributes = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN;
    const std::wstring name = Long(path);
    HANDLE h = ::CreateFileW(name.c_str(), access, share, nullptr, disposition,
                             attributes | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        Fail();
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(h, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ::CloseHandle(h);
        error_ = IoError::Access;
        return false;
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        if (IsLinkReparseTag(ReparseTag(h))) {
            ::CloseHandle(h);
            error_ = IoError::Access;
            return false;
        }
        HANDLE data = ::CreateFileW(name.c_str(), access, share, nullptr, OPEN_EXISTING, attributes, nullptr);
        const bool same = data != INVALID_HANDLE_VALUE && SameFile(h, data);
        if (!same) Fail();
        ::CloseHandle(h);
        if (!same) {
            if (data != INVALID_HANDLE_VALUE) ::CloseHandle(data);
            if (error_ == IoError::None) error_ = IoError::Access;
            return false;
        }
        h = data;
    }
    handle_ = h;
    position_ = 0;
    error_ = IoError::None;
    return true;
}

bool File::IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }

namespace {

// Transfers name their offset (at most a gigabyte each).
OVERLAPPED At(int64_t offset) {
    OVERLAPPED at;
    std::memset(&at, 0, sizeof at);
    at.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset) & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
    return at;
}

DWORD Chunk(size_t size) { return size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size); }

// *done receives the count; a read at or past the end gives 0 and true.
bool ReadAtOffset(HANDLE h, int64_t offset, void* buffer, size_t size, DWORD* done) {
    OVERLAPPED at = At(offset);
    *done = 0;
    if (::ReadFile(h, buffer, Chunk(size), done, &at)) return true;
    if (::GetLastError() != ERROR_HANDLE_EOF) return false;
    *done = 0;
    return true;
}

bool WriteAtOffset(HANDLE h, int64_t offset, const void* buffer, size_t size, DWORD* done) {
    OVERLAPPED at = At(offset);
    *done = 0;
    return ::WriteFile(h, buffer, Chunk(size), done, &at) != 0;
}

}  // namespace

bool File::ReadAt(int64_t offset, void* buffer, size_t size, size_t* got, IoError* error) const {
    *got = 0;
    *error = IoError::None;
    if (bool outcome = false; detail::TakeReadFault(error, &outcome)) return outcome;
    auto* out = static_cast<unsigned char*>(buffer);
    while (*got < size) {
        DWORD n = 0;
        if (!ReadAtOffset(handle_, offset + static_cast<int64_t>(*got), out + *got, size - *got, &n)) {
            *error = FromWin32(::GetLastError());
            return false;
        }
        if (n == 0) break;
        *got += n;
    }
    return true;
}

bool File::Read(void* buffer, size_t size, size_t* got) {
    *got = 0;
    if (bool outcome = false; detail::TakeReadFault(&error_, &outcome)) return outcome;
    DWORD n = 0;
    if (!ReadAtOffset(handle_, position_, buffer, size, &n)) {
        Fail();
        return false;
    }
    position_ += n;
    *got = n;
    return true;
}

bool File::Write(const void* buffer, size_t size) {
    if (!detail::ChargeWriteBudget(size)) {
        error_ = IoError::NoSpace;
        return false;
    }
    const auto* p = static_cast<const unsigned char*>(buffer);
    while (size > 0) {
        DWORD n = 0;
        if (!WriteAtOffset(handle_, position_, p, size, &n) || n == 0) {
            Fail();
            return false;
        }
        position_ += n;
        p += n;
        size -= n;
    }
    return true;
}

bool File::Seek(int64_t offset) {
    if (offset < 0) {
        error_ = IoError::Io;
        return false;
    }
    position_ = offset;
    return true;
}

bool File::Size(int64_t* size) const {
    LARGE_INTEGER li;
    if (!::GetFileSizeEx(handle_, &li)) return false;
    *size = li.QuadPart;
    return true;
}

bool File::Stamp(FileStamp* stamp) const {
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(handle_, &info)) return false;
    *stamp = FileStamp();
    stamp->attributesKnown = kStampAttributes;
    stamp->attributes = info.dwFileAttributes & kStampAttributes;
    stamp->modifiedKnown = true;
    stamp->modified = FromFileTime(info.ftLastWriteTime);
    stamp->createdKnown = true;
    stamp->created = FromFileTime(info.ftCreationTime);
    return true;
}

bool File::Flush() {
    if (!::FlushFileBuffers(handle_)) {
        Fail();
        return false;
    }
    return true;
}

// The lazy writer has no call that starts a range without waiting for it.
void File::StartWriteBack(int64_t, int64_t) {}

bool File::Close() {
    if (handle_ == INVALID_HANDLE_VALUE) return true;
    BOOL ok = ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    if (!ok) {
        Fail();
        return false;
    }
    return true;
}

bool PathExists(const std::wstring& path) { return Attributes(path) != INVALID_FILE_ATTRIBUTES; }

EntryKind KindOf(const std::wstring& path) {
    DWORD a = Attributes(path);
    if (a == INVALID_FILE_ATTRIBUTES) return EntryKind::Missing;
    if (a & FILE_ATTRIBUTE_REPARSE_POINT) {
        // The tag comes with the folder listing; one that cannot be read
        // counts as a link.
        WIN32_FIND_DATAW data;
        HANDLE find = ::FindFirstFileW(Long(path).c_str(), &data);
        uint32_t tag = 0;
        if (find != INVALID_HANDLE_VALUE) {
            if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) tag = data.dwReserved0;
            ::FindClose(find);
        }
        if (IsLinkReparseTag(tag)) return EntryKind::Link;
    }
    if (a & FILE_ATTRIBUTE_DIRECTORY) return EntryKind::Folder;
    if (a & FILE_ATTRIBUTE_DEVICE) return EntryKind::Special;
    return EntryKind::File;
}

bool IsDirectory(const std::wstring& path) { return KindOf(path) == EntryKind::Folder; }

bool FileSize(const std::wstring& path, int64_t* size) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(Long(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || IsLink(path))
        return false;
    *size = (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

bool RemoveFile(const std::wstring& path) { return ::DeleteFileW(Long(path).c_str()) != 0; }

bool CreateFolder(const std::wstring& path) { return ::CreateDirectoryW(path.c_str(), nullptr) != 0; }

bool RemoveFolder(const std::wstring& path) {
    DWORD a = Attributes(path);
    if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY) || (a & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    return ::RemoveDirectoryW(Long(path).c_str()) != 0;
}

bool RemoveLink(const std::wstring& path) {
    // The link is opened as itself and deleted through that same handle, so
    // the entry that was checked is the entry removed. An entry the handle
    // does not show as a reparse point with a tag is refused: deleting it
    // could reach the target (Wine, for one, presents Unix symbolic links to
    // folders as reparse points by name but opens their targets).
    HANDLE h = ::CreateFileW(Long(path).c_str(), DELETE | FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    FILE_ATTRIBUTE_TAG_INFO tag;
    std::memset(&tag, 0, sizeof tag);
    bool ok = ::GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag) &&
              (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && tag.ReparseTag != 0;
    if (ok) {
        FILE_DISPOSITION_INFO disposition;
        disposition.DeleteFile = TRUE;
        ok = ::SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition) != 0;
    }
    ::CloseHandle(h);
    return ok;
}

bool RenameReplacing(const std::wstring& from, const std::wstring& to) {
    return ::MoveFileExW(Long(from).c_str(), Long(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool RenameNoReplace(const std::wstring& from, const std::wstring& to) {
    return ::MoveFileExW(Long(from).c_str(), Long(to).c_str(), MOVEFILE_WRITE_THROUGH) != 0;
}

bool SyncParentFolder(const std::wstring&) { return true; }

bool IsReadOnly(const std::wstring& path) {
    DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY);
}

bool SetReadOnly(const std::wstring& path, bool readOnly) {
    DWORD a = Attributes(path);
    if (a == INVALID_FILE_ATTRIBUTES) return false;
    a = readOnly ? (a | FILE_ATTRIBUTE_READONLY) : (a & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    if (a == 0) a = FILE_ATTRIBUTE_NORMAL;
    return ::SetFileAttributesW(Long(path).c_str(), a) != 0;
}

bool ApplyStamp(const std::wstring& path, const FileStamp& stamp) {
    const DWORD known = stamp.attributesKnown & kStampAttributes;
    if (!known && !stamp.modifiedKnown && !stamp.createdKnown) return true;
    // Opened as itself: a link is changed, never what it points to.
    HANDLE h = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    FILE_BASIC_INFO info;
    std::memset(&info, 0, sizeof info);
    bool ok = ::GetFileInformationByHandleEx(h, FileBasicInfo, &info, sizeof info) != 0;
    if (ok) {
        // A time of 0 is left as it is: the access and change times, and
        // any time not known.
        const DWORD current = info.FileAttributes;
        std::memset(&info, 0, sizeof info);
        if (stamp.modifiedKnown && !ToTicks(stamp.modified, &info.LastWriteTime)) ok = false;
        if (stamp.createdKnown && !ToTicks(stamp.created, &info.CreationTime)) ok = false;
        DWORD attributes = ((current & ~known) | (stamp.attributes & known)) & kSettableAttributes;
        if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
        info.FileAttributes = attributes;
        ok = ::SetFileInformationByHandle(h, FileBasicInfo, &info, sizeof info) != 0 && ok;
    }
    ::CloseHandle(h);
    return ok;
}

wchar_t PathSeparator() { return L'\\'; }

// ---------------------------------------------------------------- pending files
bool PendingFile::Create(const std::wstring& target) {
    Discard();
    target_ = target;
    error_ = IoError::None;
    for (int attempt = 0; attempt < 4; ++attempt) {
        const std::wstring temp = TemporaryName(target);
        if (temp.empty()) break;
        HANDLE h = ::CreateFileW(Long(temp).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                 FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            error_ = FromWin32(::GetLastError());
            if (error_ == IoError::Exists) continue;
            return false;
        }
        // Marked before any byte is written: from here on the file goes
        // with its handle, however the process ends.
        if (!SetDeleteMark(h, true)) {
            error_ = FromWin32(::GetLastError());
            ::CloseHandle(h);
            ::DeleteFileW(Long(temp).c_str());
            return false;
        }
        file_.handle_ = h;
        file_.position_ = 0;
        file_.error_ = IoError::None;
        temp_ = temp;
        open_ = true;
        return true;
    }
    if (error_ == IoError::None) error_ = IoError::Io;
    return false;
}

namespace {

// Renames the file of an open handle (which needs DELETE access) without
// opening it again. False with the system's error.
bool RenameByHandle(HANDLE h, const std::wstring& target, bool replaceExisting) {
    // An absolute NT path (\??\C:\...), which needs no conversion.
    DWORD n = ::GetFullPathNameW(target.c_str(), 0, nullptr, nullptr);
    if (n == 0) return false;
    std::wstring full(n, L'\0');
    n = ::GetFullPathNameW(target.c_str(), n, &full[0], nullptr);
    if (n == 0) return false;
    full.resize(n);
    const std::wstring name = full.compare(0, 4, L"\\\\?\\") == 0 ? L"\\??\\" + full.substr(4) : L"\\??\\" + full;
    const size_t bytes = sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t);
    std::vector<unsigned char> buffer(bytes, 0);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = replaceExisting ? TRUE : FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::memcpy(info->FileName, name.data(), name.size() * sizeof(wchar_t));
    return ::SetFileInformationByHandle(h, FileRenameInfo, info, static_cast<DWORD>(bytes)) != 0;
}

}  // namespace

bool PendingFile::Publish(bool replaceExisting) {
    if (!open_) return false;
    HANDLE h = file_.handle_;
    if (!::FlushFileBuffers(h)) {
        error_ = FromWin32(::GetLastError());
        Discard();
        return false;
    }
    // Named while still marked, where the system allows it, and unmarked
    // only then: a process ended between the two takes the file with it, so
    // no moment is left where a complete file carries the temporary name.
    if (RenameByHandle(h, target_, replaceExisting)) {
        if (SetDeleteMark(h, false)) {
            open_ = false;
            temp_.clear();
            file_.Close();
            return true;
        }
        error_ = FromWin32(::GetLastError());
        file_.Close();  // still marked: goes with the handle
        open_ = false;
        temp_.clear();
        return false;
    }
    const DWORD renameError = ::GetLastError();
    if (!replaceExisting && (renameError == ERROR_ALREADY_EXISTS || renameError == ERROR_FILE_EXISTS)) {
        error_ = IoError::Exists;
        Discard();
        return false;
    }
    // Otherwise: unmarked first, then renamed by name.
    if (!SetDeleteMark(h, false)) {
        error_ = FromWin32(::GetLastError());
        Discard();
        return false;
    }
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replaceExisting ? MOVEFILE_REPLACE_EXISTING : 0);
    if (!::MoveFileExW(Long(temp_).c_str(), Long(target_).c_str(), flags)) {
        error_ = FromWin32(::GetLastError());
        Discard();
        return false;
    }
    open_ = false;
    temp_.clear();
    file_.Close();  // the data reached the disk before the name did
    return true;
}

void PendingFile::Discard() {
    if (!open_) return;
    // Marked again in case Publish had taken the mark away; closing the
    // handle then deletes the file. By name as well, should the mark fail.
    const bool marked = SetDeleteMark(file_.handle_, true);
    file_.Close();
    if (!marked) ::DeleteFileW(Long(temp_).c_str());
    temp_.clear();
    open_ = false;
}

bool CreateGuid(Guid* guid) {
    GUID g;
    if (FAILED(::CoCreateGuid(&g))) return false;
    guid->data1 = g.Data1;
    guid->data2 = g.Data2;
    guid->data3 = g.Data3;
    for (int i = 0; i < 8; ++i) guid->data4[i] = g.Data4[i];
    return true;
}

std::wstring ModulePath() {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&ModulePath), &module);
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = ::GetModuleFileNameW(module, &buf[0], static_cast<DWORD>(buf.size()));
        if (n == 0) return std::wstring();
        if (n < buf.size()) {
            buf.resize(n);
            return buf;
        }
        buf.resize(buf.size() * 2);
    }
}

std::wstring NarrowToWide(const std::string& text) {
    if (text.empty()) return std::wstring();
    int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::string WideToNarrow(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                  nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr,
                          nullptr);
    return out;
}

std::u16string NarrowToUtf16(const std::string& text) { return WideToUtf16(NarrowToWide(text)); }

struct Mutex::Impl {
    HANDLE handle = nullptr;
};

Mutex::Mutex(const std::wstring& name) : impl_(new Impl) {
    if (name.empty()) {
        impl_->handle = ::CreateMutexW(nullptr, FALSE, nullptr);
        return;
    }
    impl_->handle = ::OpenMutexW(MUTEX_ALL_ACCESS, FALSE, name.c_str());
    if (!impl_->handle) {
        impl_->handle = ::CreateMutexW(nullptr, FALSE, name.c_str());
        createdNew_ = impl_->handle && ::GetLastError() != ERROR_ALREADY_EXISTS;
    }
}

Mutex::~Mutex() {
    if (impl_->handle) ::CloseHandle(impl_->handle);
    delete impl_;
}

bool Mutex::Valid() const { return impl_->handle != nullptr; }

void Mutex::Lock() {
    if (impl_->handle) ::WaitForSingleObject(impl_->handle, INFINITE);
}

void Mutex::Unlock() {
    if (impl_->handle) ::ReleaseMutex(impl_->handle);
}

LocalTime Now() {
    SYSTEMTIME st;
    ::GetLocalTime(&st);
    return LocalTime{st.wHour, st.wMinute, st.wSecond};
}

void DebuggerOutput(const std::wstring& text) { ::OutputDebugStringW(text.c_str()); }

Library::~Library() { Unload(); }

bool Library::Load(const std::wstring& path) {
    Unload();
    // The full path is searched for its own dependencies first, so that a
    // library beside the program finds its neighbours.
    HMODULE module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    handle_ = reinterpret_cast<void*>(module);
    return module != nullptr;
}

Library::Proc Library::Symbol(const char* name) const {
    if (!handle_) return nullptr;
    FARPROC proc = ::GetProcAddress(reinterpret_cast<HMODULE>(handle_), name);
    return reinterpret_cast<Proc>(proc);
}

void Library::Unload() {
    if (handle_) ::FreeLibrary(reinterpret_cast<HMODULE>(handle_));
    handle_ = nullptr;
}

ComScope::ComScope() : initialised_(SUCCEEDED(::CoInitialize(nullptr))) {}

ComScope::~ComScope() {
    if (initialised_) ::CoUninitialize();
}

}  // namespace plat

namespace plat {

bool ListFolder(const std::wstring& folder, std::vector<std::wstring>* names, IoError* error) {
    names->clear();
    if (error) *error = IoError::None;
    WIN32_FIND_DATAW data;
    std::wstring pattern = folder;
    if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
    pattern += L'*';
    HANDLE h = ::FindFirstFileW(Long(pattern).c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD e = ::GetLastError();
        if (e == ERROR_FILE_NOT_FOUND) return true;
        if (error) *error = FromWin32(e);
        return false;
    }
    do {
        if (std::wcscmp(data.cFileName, L".") == 0 || std::wcscmp(data.cFileName, L"..") == 0) continue;
        names->push_back(data.cFileName);
    } while (::FindNextFileW(h, &data));
    ::FindClose(h);
    return true;
}

IoError LastIoError() { return FromWin32(::GetLastError()); }

namespace {

// The root of a path's volume as a folder: "C:\", "\\server\share\";
// empty for a relative path.
std::wstring VolumeRoot(const std::wstring& path) {
    std::wstring p = path;
    if (p.compare(0, 8, L"\\\\?\\UNC\\") == 0) p = L"\\\\" + p.substr(8);
    else if (p.compare(0, 4, L"\\\\?\\") == 0) p = p.substr(4);
    if (p.size() >= 3 && p[1] == L':' && (p[2] == L'\\' || p[2] == L'/')) return p.substr(0, 3);
    if (p.size() >= 2 && (p[0] == L'\\' || p[0] == L'/') && (p[1] == L'\\' || p[1] == L'/')) {
        size_t seen = 2, i = 2;
        for (; i < p.size() && seen < 4; ++i)
            if (p[i] == L'\\' || p[i] == L'/') ++seen;
        return seen == 4 ? p.substr(0, i) : p + L'\\';
    }
    return std::wstring();
}

}  // namespace

// A name no file system here can hold (more than 255 characters), or a path
// longer than the system takes even in its long form.
bool LongerThanTheSystemTakes(const std::wstring& path) {
    if (path.size() >= 32767 - 8) return true;
    size_t run = 0;
    for (wchar_t c : path) {
        run = (c == L'\\' || c == L'/') ? 0 : run + 1;
        if (run > 255) return true;
    }
    return false;
}

IoError ProbeEntry(const std::wstring& path) {
    if (Attributes(path) != INVALID_FILE_ATTRIBUTES) return IoError::None;
    const IoError error = FromWin32(::GetLastError());
    // Not every system says so itself (Wine answers "not found").
    if ((error == IoError::NotFound || error == IoError::Io) && LongerThanTheSystemTakes(path))
        return IoError::NameTooLong;
    if (error != IoError::NotFound) return error;
    // A path on a drive that went away reads as not found: its root tells.
    const std::wstring root = VolumeRoot(path);
    if (!root.empty() && ::GetFileAttributesW(root.c_str()) == INVALID_FILE_ATTRIBUTES) return IoError::DriveGone;
    return error;
}

bool GetFileId(const std::wstring& path, FileId* id) {
    HANDLE h = ::CreateFileW(Long(path).c_str(), FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool ok = ::GetFileInformationByHandle(h, &info) != 0;
    ::CloseHandle(h);
    if (!ok) return false;
    id->volume = info.dwVolumeSerialNumber;
    id->index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

std::wstring ShortPathName(const std::wstring& path) {
    if (!detail::g_shortNames.load()) return std::wstring();
    const std::wstring name = Long(path);
    DWORD n = ::GetShortPathNameW(name.c_str(), nullptr, 0);
    if (n == 0) return std::wstring();
    std::wstring out(n, L'\0');
    n = ::GetShortPathNameW(name.c_str(), &out[0], n);
    if (n == 0 || n >= out.size()) return std::wstring();
    out.resize(n);
    // Handed back in the form it was given.
    if (name != path) {
        if (out.compare(0, 8, L"\\\\?\\UNC\\") == 0) out = L"\\\\" + out.substr(8);
        else if (out.compare(0, 4, L"\\\\?\\") == 0) out = out.substr(4);
    }
    return out;
}

}  // namespace plat
