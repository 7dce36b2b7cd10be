// Whether a vault entry opens under the vault's password, told from its
// header alone (one password stretch, no body read): the window marks the
// entries that do not, instead of offering a drag that cannot unlock them.
#pragma once

#include <cstdint>
#include <string>

namespace corva::vault {

enum class EntryState {
    Opens,          // a locked file of whole length whose header opens with the password
    OtherPassword,  // a locked file locked under another password
    Damaged,        // not a locked file, or its length does not match its header
};

EntryState CheckEntry(const std::wstring& path, const std::string& password);

// What the list appends to a marked entry's name: nothing for Opens,
// " (other password)", " (damaged)".
const wchar_t* EntryMark(EntryState state);

}  // namespace corva::vault
