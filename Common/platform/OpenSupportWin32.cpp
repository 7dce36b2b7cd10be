// OpenSupport on Windows.
#include "platform/OpenSupport.h"

#include <windows.h>
#include <accctrl.h>
#include <aclapi.h>
#include <shellapi.h>
#include <shlobj.h>

#include <vector>

#include "platform/Platform.h"

namespace plat {

namespace {

// A handle closed at the end of the scope.
class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (Valid()) ::CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool Valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return h_; }

private:
    HANDLE h_;
};

// The current user's SID, copied out of the process token.
bool CurrentUserSid(std::vector<BYTE>* sid) {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
    Handle token(raw);
    DWORD size = 0;
    ::GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return false;
    std::vector<BYTE> buffer(size);
    if (!::GetTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size)) return false;
    PSID user = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    const DWORD length = ::GetLengthSid(user);
    sid->assign(length, 0);
    return ::CopySid(length, sid->data(), user) != 0;
}

// The folder itself, never what a junction or link of that name points to.
HANDLE OpenFolder(const std::wstring& folder, DWORD access) {
    return ::CreateFileW(folder.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

}  // namespace

std::wstring LocalAppDataFolder() {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path)))
        return std::wstring();
    return path;
}

bool MakePrivateFolder(const std::wstring& folder) {
    if (!::CreateDirectoryW(folder.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) return false;
    if (KindOf(folder) != EntryKind::Folder) return false;
    Handle dir(OpenFolder(folder, READ_CONTROL | WRITE_DAC));
    if (!dir.Valid()) return false;
    std::vector<BYTE> sid;
    if (!CurrentUserSid(&sid)) return false;
    const DWORD aclSize = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + ::GetLengthSid(sid.data());
    std::vector<BYTE> aclBuffer(aclSize);
    PACL acl = reinterpret_cast<PACL>(aclBuffer.data());
    if (!::InitializeAcl(acl, aclSize, ACL_REVISION) ||
        !::AddAccessAllowedAceEx(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, FILE_ALL_ACCESS,
                                 sid.data()))
        return false;
    return ::SetSecurityInfo(dir.Get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                             nullptr, nullptr, acl, nullptr) == ERROR_SUCCESS;
}

bool IsPrivateFolder(const std::wstring& folder) {
    if (KindOf(folder) != EntryKind::Folder) return false;
    Handle dir(OpenFolder(folder, READ_CONTROL));
    if (!dir.Valid()) return false;
    PACL acl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(dir.Get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl, nullptr,
                          &descriptor) != ERROR_SUCCESS)
        return false;
    bool ok = false;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    std::vector<BYTE> sid;
    void* ace = nullptr;
    if (acl && ::GetSecurityDescriptorControl(descriptor, &control, &revision) && (control & SE_DACL_PROTECTED) &&
        acl->AceCount == 1 && ::GetAce(acl, 0, &ace) && CurrentUserSid(&sid)) {
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        ok = allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
             ::EqualSid(reinterpret_cast<PSID>(&allowed->SidStart), sid.data());
    }
    ::LocalFree(descriptor);
    return ok;
}

FileUse ProbeFileUse(const std::wstring& path) {
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                             nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        ::CloseHandle(h);
        return FileUse::Free;
    }
    switch (::GetLastError()) {
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return FileUse::InUse;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: return FileUse::Missing;
        default: return FileUse::Unknown;
    }
}

ChildProcess::~ChildProcess() {
    if (process_) ::CloseHandle(static_cast<HANDLE>(process_));
}

bool ChildProcess::Open(const std::wstring& file, const std::wstring& program) {
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    std::wstring quoted;
    if (program.empty()) {
        info.lpFile = file.c_str();
    } else {
        quoted = L"\"" + file + L"\"";
        info.lpFile = program.c_str();
        info.lpParameters = quoted.c_str();
    }
    info.nShow = SW_SHOWNORMAL;
    if (!::ShellExecuteExW(&info)) return false;
    if (process_) ::CloseHandle(static_cast<HANDLE>(process_));
    process_ = info.hProcess;
    return true;
}

bool ChildProcess::HasProcess() const { return process_ != nullptr; }

bool ChildProcess::Running() {
    if (!process_) return false;
    return ::WaitForSingleObject(static_cast<HANDLE>(process_), 0) == WAIT_TIMEOUT;
}

void SleepMilliseconds(uint32_t milliseconds) { ::Sleep(milliseconds); }

}  // namespace plat
