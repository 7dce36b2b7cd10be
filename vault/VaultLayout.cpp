#include "VaultLayout.h"

#include <cwctype>

#include "engine/LockedFile.h"

namespace corva::vault {

const wchar_t kVaultProgramName[] = L"CorvastineVault.exe";
const wchar_t kCryptoLibraryName[] = L"libeay32.dll";
const wchar_t kVaultFolderName[] = L"corvadocuments";

namespace {

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

const std::wstring& LockedSuffixLower() {
    static const std::wstring suffix = Lower(kLockedExtension);
    return suffix;
}

}  // namespace

std::wstring ProgramFolderOf(const std::wstring& programFile) {
    const size_t slash = programFile.rfind(L'\\');
    if (slash == std::wstring::npos) return std::wstring();
    return programFile.substr(0, slash + 1);
}

std::wstring VaultFolderOf(const std::wstring& programFolder) { return programFolder + kVaultFolderName; }

std::wstring FileNameOf(const std::wstring& path) {
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool IsVaultEntryName(const std::wstring& name) {
    const std::wstring& suffix = LockedSuffixLower();
    if (name.size() <= suffix.size()) return false;
    return Lower(name.substr(name.size() - suffix.size())) == suffix;
}

std::wstring UnlockedPathOf(const std::wstring& entryPath) {
    const size_t at = Lower(entryPath).rfind(LockedSuffixLower());
    if (at == std::wstring::npos) return entryPath;
    return entryPath.substr(0, at);
}

std::wstring NumberedName(const std::wstring& name, int number, bool folder) {
    const std::wstring mark = L" (" + std::to_wstring(number) + L")";
    const size_t dot = folder ? std::wstring::npos : name.rfind(L'.');
    if (dot == std::wstring::npos || dot == 0) return name + mark;
    return name.substr(0, dot) + mark + name.substr(dot);
}

std::wstring FreeEntryName(const std::wstring& name, bool folder, const NameTaken& taken) {
    constexpr int kLastNumber = 9999;
    for (int number = 1; number <= kLastNumber; ++number) {
        const std::wstring candidate = number == 1 ? name : NumberedName(name, number, folder);
        if (!taken(candidate) && !taken(candidate + kLockedExtension)) return candidate;
    }
    return std::wstring();
}

}  // namespace corva::vault
