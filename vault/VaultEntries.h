// The entries of the vault folder, as the vault window lists them: the
// locked files (names ending in ".corvastine") and the sub-folders that
// dropped folders became, in the order the file system returns them (the
// sub-folders are not entered; links are never listed), each with its path
// and its Size and Date texts. A locked file that cannot be opened for
// reading has empty texts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corva::vault {

struct VaultEntry {
    std::wstring name;      // a locked file's name with ".corvastine"; a folder's own name
    std::wstring path;      // vault folder + "\" + name
    std::wstring sizeText;  // SizeText of a file's length; "Folder" for a folder
    std::wstring dateText;  // its creation date in local time, "%04d-%02d-%02d"
    bool folder = false;
    // A file's length and last write time (system ticks): what tells that
    // it has changed since it was last looked at.
    int64_t length = -1;
    uint64_t written = 0;
};

extern const wchar_t kFolderSizeText[];  // "Folder"

// Creates the vault folder when it is missing (a failure is ignored) and
// lists its entries; empty when the folder cannot be read.
std::vector<VaultEntry> ReadVaultEntries(const std::wstring& vaultFolder);

}  // namespace corva::vault
