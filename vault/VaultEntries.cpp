#include "VaultEntries.h"

#include <windows.h>

#include "EntryTexts.h"
#include "VaultLayout.h"
#include "engine/LockedFile.h"
#include "platform/WinHandles.h"

namespace corva::vault {

const wchar_t kFolderSizeText[] = L"Folder";

namespace {

// A creation time as the local day's text; empty when it cannot be converted.
std::wstring DayOf(const FILETIME& time) {
    FILETIME local{};
    SYSTEMTIME day{};
    if (!::FileTimeToLocalFileTime(&time, &local) || !::FileTimeToSystemTime(&local, &day)) return std::wstring();
    return DateText(day.wYear, day.wMonth, day.wDay);
}

// Size and date texts of an entry, read from the file opened for reading.
void FillTexts(VaultEntry* entry) {
    corva::win::UniqueKernelHandle file(::CreateFileW(entry->path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    LARGE_INTEGER length{};
    if (::GetFileSizeEx(file.Get(), &length)) {
        entry->sizeText = SizeText(length.QuadPart);
        entry->length = length.QuadPart;
    }
    FILETIME created{}, written{};
    if (::GetFileTime(file.Get(), &created, nullptr, &written)) {
        entry->dateText = DayOf(created);
        entry->written = (static_cast<uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
    }
}

}  // namespace

std::vector<VaultEntry> ReadVaultEntries(const std::wstring& vaultFolder) {
    std::vector<VaultEntry> entries;
    ::CreateDirectoryW(vaultFolder.c_str(), nullptr);
    WIN32_FIND_DATAW found{};
    const std::wstring pattern = vaultFolder + L"\\*";
    corva::win::UniqueFindHandle find(::FindFirstFileW(pattern.c_str(), &found));
    if (!find) return entries;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L".." || (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
        VaultEntry entry;
        entry.name = name;
        entry.path = vaultFolder + L"\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            entry.folder = true;
            entry.sizeText = kFolderSizeText;
            entry.dateText = DayOf(found.ftCreationTime);
        } else if (IsVaultEntryName(name)) {
            FillTexts(&entry);
        } else {
            continue;
        }
        entries.push_back(std::move(entry));
    } while (::FindNextFileW(find.Get(), &found));
    return entries;
}

}  // namespace corva::vault
