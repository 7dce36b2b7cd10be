#include "VaultEntries.h"

#include <windows.h>

#include "EntryTexts.h"
#include "VaultLayout.h"
#include "engine/LockedFile.h"
#include "platform/WinHandles.h"

namespace corva::vault {

namespace {

// Size and date texts of an entry, read from the file opened for reading.
void FillTexts(VaultEntry* entry) {
    corva::win::UniqueKernelHandle file(::CreateFileW(entry->path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    LARGE_INTEGER length{};
    if (::GetFileSizeEx(file.Get(), &length)) entry->sizeText = SizeText(length.QuadPart);
    FILETIME created{}, local{};
    SYSTEMTIME day{};
    if (::GetFileTime(file.Get(), &created, nullptr, nullptr) && ::FileTimeToLocalFileTime(&created, &local) &&
        ::FileTimeToSystemTime(&local, &day))
        entry->dateText = DateText(day.wYear, day.wMonth, day.wDay);
}

}  // namespace

std::vector<VaultEntry> ReadVaultEntries(const std::wstring& vaultFolder) {
    std::vector<VaultEntry> entries;
    ::CreateDirectoryW(vaultFolder.c_str(), nullptr);
    WIN32_FIND_DATAW found{};
    const std::wstring pattern = vaultFolder + L"\\*" + kLockedExtension;
    corva::win::UniqueFindHandle find(::FindFirstFileW(pattern.c_str(), &found));
    if (!find) return entries;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        const std::wstring name = found.cFileName;
        if (!IsVaultEntryName(name)) continue;
        VaultEntry entry;
        entry.name = name;
        entry.path = vaultFolder + L"\\" + name;
        FillTexts(&entry);
        entries.push_back(std::move(entry));
    } while (::FindNextFileW(find.Get(), &found));
    return entries;
}

}  // namespace corva::vault
