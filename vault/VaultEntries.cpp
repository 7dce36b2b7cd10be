#include "VaultEntries.h"

#include <windows.h>

#include "EntryTexts.h"
#include "VaultLayout.h"
#include "engine/LockedFile.h"

namespace corva::vault {

namespace {

class FindHandle {
public:
    explicit FindHandle(HANDLE handle) : handle_(handle) {}
    ~FindHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) ::FindClose(handle_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

// Size and date texts of an entry, read from the file opened for reading.
void FillTexts(VaultEntry* entry) {
    HANDLE file = ::CreateFileW(entry->path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    LARGE_INTEGER length{};
    if (::GetFileSizeEx(file, &length)) entry->sizeText = SizeText(length.QuadPart);
    FILETIME created{}, local{};
    SYSTEMTIME day{};
    if (::GetFileTime(file, &created, nullptr, nullptr) && ::FileTimeToLocalFileTime(&created, &local) &&
        ::FileTimeToSystemTime(&local, &day))
        entry->dateText = DateText(day.wYear, day.wMonth, day.wDay);
    ::CloseHandle(file);
}

}  // namespace

std::vector<VaultEntry> ReadVaultEntries(const std::wstring& vaultFolder) {
    std::vector<VaultEntry> entries;
    ::CreateDirectoryW(vaultFolder.c_str(), nullptr);
    WIN32_FIND_DATAW found{};
    const std::wstring pattern = vaultFolder + L"\\*" + kLockedExtension;
    FindHandle find(::FindFirstFileW(pattern.c_str(), &found));
    if (!find.Valid()) return entries;
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
