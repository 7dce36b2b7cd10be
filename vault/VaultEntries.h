// The locked files in the vault folder, as the vault window lists them: the
// names matching "*.corvastine" in the order the file system returns them
// (sub-folders are not visited), each with its path and its Size and Date
// texts. An entry that cannot be opened for reading has empty texts.
#pragma once

#include <string>
#include <vector>

namespace corva::vault {

struct VaultEntry {
    std::wstring name;      // with ".corvastine"
    std::wstring path;      // vault folder + "\" + name
    std::wstring sizeText;  // SizeText of its length
    std::wstring dateText;  // its creation date in local time, "%04d-%02d-%02d"
};

// Creates the vault folder when it is missing (a failure is ignored) and
// lists its entries; empty when the folder cannot be read.
std::vector<VaultEntry> ReadVaultEntries(const std::wstring& vaultFolder);

}  // namespace corva::vault
