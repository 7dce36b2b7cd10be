#include "SettingsFailure.h"

#include "settings/SettingKeys.h"
#include "settings/Settings.h"

namespace corva::ui {

namespace {

std::wstring FolderOf(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// Whether a new file can be made in the folder: ERROR_SUCCESS, or why not.
DWORD ProbeFolder(const std::wstring& folder) {
    std::wstring probe = folder + L"\\~corvastine-probe-" + std::to_wstring(::GetCurrentProcessId()) + L".tmp";
    HANDLE h = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) return ::GetLastError();
    ::CloseHandle(h);
    return ERROR_SUCCESS;
}

}  // namespace

std::wstring DescribeSettingsWriteProblem(const std::wstring& path) {
    const std::wstring folder = FolderOf(path);
    DWORD folderAttributes = ::GetFileAttributesW(folder.c_str());
    if (folderAttributes == INVALID_FILE_ATTRIBUTES || !(folderAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return L"The folder of the settings file does not exist or cannot be reached.";
    }

    DWORD fileAttributes = ::GetFileAttributesW(path.c_str());
    const bool exists = fileAttributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (fileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return L"A folder of the same name is in the way of the settings file.";
    }
    if (exists) {
        // Another program holding the file open keeps it from being read
        // or replaced.
        HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            DWORD error = ::GetLastError();
            if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
                return L"The settings file is in use by another program.";
            }
            return L"The settings file cannot be opened; you may not have permission to read it.";
        }
        ::CloseHandle(h);
        if (fileAttributes & FILE_ATTRIBUTE_READONLY) return L"The settings file is read-only.";
    }

    switch (ProbeFolder(folder)) {
    case ERROR_SUCCESS:
        break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return L"The disk is full.";
    case ERROR_WRITE_PROTECT:
        return L"The disk is write-protected.";
    default:
        return L"You do not have permission to change files in the folder of the settings file.";
    }
    if (exists) {
        // A file written from the other kind of drive reads (settings/Settings.h).
        return L"The settings file cannot be read: it is damaged.";
    }
    return L"The settings file could not be created.";
}

void ReportSettingsWriteFailure(HWND owner, SavedItem item) {
    const std::wstring path = ModuleFilePath(L"config.xml");
    const std::wstring what = item == SavedItem::Password
                                  ? L"Your password could not be saved, so it has not been changed."
                                  : L"Your security questions and answers could not be saved.";
    const std::wstring text = what + L"\n\nCorvastine could not write its settings file\n" + path + L"\n\n" +
                              DescribeSettingsWriteProblem(path) + L"\n\nPlease correct this and try again.";
    ::MessageBoxW(owner, text.c_str(), corva::kProductName, MB_OK | MB_ICONWARNING);
}

}  // namespace corva::ui
