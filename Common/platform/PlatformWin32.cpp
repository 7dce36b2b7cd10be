// Win32 side of the platform layer. Every call uses the wide (W) APIs, so
// names outside the ANSI code page work.
#include "Platform.h"

#include <windows.h>
#include <objbase.h>

#include <cstring>
#include <cwchar>

namespace plat {

namespace detail {
bool ChargeWriteBudget(size_t size);
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
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT: return IoError::Access;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
        case 1295 /* ERROR_DISK_QUOTA_EXCEEDED */: return IoError::NoSpace;
        default: return IoError::Io;
    }
}

DWORD Attributes(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()); }

}  // namespace

File::~File() {
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
        handle_ = other.handle_;
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
    // Reparse points are opened as themselves, never followed.
    HANDLE h = ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                             disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN |
                                              FILE_FLAG_OPEN_REPARSE_POINT,
                             nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        Fail();
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (::GetFileInformationByHandle(h, &info) &&
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
        ::CloseHandle(h);
        error_ = IoError::Access;
        return false;
    }
    handle_ = h;
    error_ = IoError::None;
    return true;
}

bool File::IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }

bool File::Read(void* buffer, size_t size, size_t* got) {
    *got = 0;
    DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD n = 0;
    if (!::ReadFile(handle_, buffer, chunk, &n, nullptr)) {
        Fail();
        return false;
    }
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
        DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD n = 0;
        if (!::WriteFile(handle_, p, chunk, &n, nullptr) || n == 0) {
            Fail();
            return false;
        }
        p += n;
        size -= n;
    }
    return true;
}

bool File::Seek(int64_t offset) {
    LARGE_INTEGER li;
    li.QuadPart = offset;
    if (!::SetFilePointerEx(handle_, li, nullptr, FILE_BEGIN)) {
        Fail();
        return false;
    }
    return true;
}

bool File::Size(int64_t* size) const {
    LARGE_INTEGER li;
    if (!::GetFileSizeEx(handle_, &li)) return false;
    *size = li.QuadPart;
    return true;
}

bool File::Flush() {
    if (!::FlushFileBuffers(handle_)) {
        Fail();
        return false;
    }
    return true;
}

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

bool IsDirectory(const std::wstring& path) {
    DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) &&
           !(a & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool IsLink(const std::wstring& path) {
    DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool FileSize(const std::wstring& path, int64_t* size) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return false;
    *size = (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

bool RemoveFile(const std::wstring& path) { return ::DeleteFileW(path.c_str()) != 0; }

bool RemoveFolder(const std::wstring& path) {
    DWORD a = Attributes(path);
    if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY) || (a & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    return ::RemoveDirectoryW(path.c_str()) != 0;
}

bool RemoveLink(const std::wstring& path) {
    // The link is opened as itself and deleted through that same handle, so
    // the entry that was checked is the entry removed. An entry the handle
    // does not show as a reparse point with a tag is refused: deleting it
    // could reach the target (Wine, for one, presents Unix symbolic links to
    // folders as reparse points by name but opens their targets).
    HANDLE h = ::CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
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
    return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool RenameNoReplace(const std::wstring& from, const std::wstring& to) {
    return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
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
    return ::SetFileAttributesW(path.c_str(), a) != 0;
}

wchar_t PathSeparator() { return L'\\'; }

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

bool ListFolder(const std::wstring& folder, std::vector<std::wstring>* names) {
    names->clear();
    WIN32_FIND_DATAW data;
    std::wstring pattern = folder;
    if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
    pattern += L'*';
    HANDLE h = ::FindFirstFileW(pattern.c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        if (std::wcscmp(data.cFileName, L".") == 0 || std::wcscmp(data.cFileName, L"..") == 0) continue;
        names->push_back(data.cFileName);
    } while (::FindNextFileW(h, &data));
    ::FindClose(h);
    return true;
}

}  // namespace plat
