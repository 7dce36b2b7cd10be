#include "BatchCommands.h"

#include "platform/Platform.h"
#include "platform/WinHandles.h"

namespace corva::desktop {

bool ListFolderEntries(const std::wstring& folder, const std::function<bool(const std::wstring&, EntryType)>& visit) {
    WIN32_FIND_DATAW data{};
    const std::wstring pattern = plat::JoinPath(folder, L"*");
    win::UniqueFindHandle find(
        ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0));
    if (!find) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        EntryType type = EntryType::File;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && plat::IsLinkReparseTag(data.dwReserved0)) {
            type = EntryType::Link;
        } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            type = EntryType::Folder;
        }
        if (!visit(name, type)) break;
    } while (::FindNextFileW(find.Get(), &data));
    return true;
}

bool ConfirmLargeLock(HWND owner, const std::vector<std::wstring>& paths) {
    const bool large = NeedsLargeLockQuestion(
        paths, [](const std::wstring& path) { return plat::IsDirectory(path); }, &ListFolderEntries,
        [](const std::wstring& folder, const std::wstring& name) { return plat::JoinPath(folder, name); });
    if (!large) return true;
    return ::MessageBoxW(owner, LargeLockQuestion(paths).c_str(), L"Corvastine", MB_YESNO | MB_ICONQUESTION) == IDYES;
}

}  // namespace corva::desktop
