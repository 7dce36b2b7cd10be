// The vault's files on a drive and the names derived from them: the vault
// program "CorvastineVault.exe" (its last 32 bytes are the password record),
// the cryptographic library "libeay32.dll" and the hidden vault folder
// "corvadocuments" holding the locked files. Pure string functions; they
// touch no file.
#pragma once

#include <functional>
#include <string>

namespace corva::vault {

extern const wchar_t kVaultProgramName[];   // "CorvastineVault.exe"
extern const wchar_t kCryptoLibraryName[];  // "libeay32.dll"
extern const wchar_t kVaultFolderName[];    // "corvadocuments"

// The folder of a program file: its path up to and including the last
// backslash ("E:\CorvastineVault.exe" gives "E:\"); empty when the path
// holds no backslash.
std::wstring ProgramFolderOf(const std::wstring& programFile);

// The vault folder beside the program: folder + "corvadocuments", no
// trailing backslash.
std::wstring VaultFolderOf(const std::wstring& programFolder);

// The last path component (after the last backslash).
std::wstring FileNameOf(const std::wstring& path);

// Whether a file name is a vault entry: it ends with ".corvastine" (letter
// case ignored, as the system's own name matching does) and has a name
// before it.
bool IsVaultEntryName(const std::wstring& name);

// The path a vault entry's plain file has inside the vault: the entry's path
// cut at the last ".corvastine" (any letter case). A path without it is
// returned unchanged.
std::wstring UnlockedPathOf(const std::wstring& entryPath);

// A copy's name as the system's file manager numbers copies: "a.dat" and
// 2 give "a (2).dat". The number goes before a file's last extension (a
// leading dot starts no extension: ".profile (2)"); a folder's name gets it
// at its end.
std::wstring NumberedName(const std::wstring& name, int number, bool folder);

// Whether a name is in use in the folder an entry goes to.
using NameTaken = std::function<bool(const std::wstring& name)>;

// The plain name under which a file or folder enters a folder of the
// vault: its own name when neither that name nor the name with
// ".corvastine" appended is taken (so that it can be taken out again under
// the plain name), else the first free NumberedName from 2 on. Empty when
// none up to 9999 is free.
std::wstring FreeEntryName(const std::wstring& name, bool folder, const NameTaken& taken);

}  // namespace corva::vault
