// Reads, through Windows' own functions, what the setup package test
// compares with what it expects (run under Wine by run-package-test.sh):
//
//   package_probe version FILE...
//     one line per file: name, file version (fixed part, a.b.c.d), file
//     type (app, dll or other), and the strings FileVersion,
//     ProductVersion, OriginalFilename and ProductName, separated by tabs;
//     "none" for a file without a version resource.
//   package_probe sddl TEXT
//     the security descriptor the text stands for: "protected" or
//     "inherits", then one line per access-control entry of its DACL:
//     allow|deny, the SID as text, the access mask as 0x%08x.
//
// Exit status 1 when a file cannot be read or the text does not parse.
#include <windows.h>
#include <sddl.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::wstring VersionString(const std::vector<BYTE>& block, WORD language, WORD codePage, const wchar_t* name) {
    wchar_t path[128];
    swprintf(path, 128, L"\\StringFileInfo\\%04x%04x\\%ls", language, codePage, name);
    void* value = nullptr;
    UINT chars = 0;
    if (!::VerQueryValueW(block.data(), path, &value, &chars) || !value) return L"-";
    return static_cast<const wchar_t*>(value);
}

bool PrintVersion(const wchar_t* file) {
    const wchar_t* name = wcsrchr(file, L'\\');
    name = name ? name + 1 : file;
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(file, &ignored);
    if (size == 0) {
        if (::GetFileAttributesW(file) == INVALID_FILE_ATTRIBUTES) {
            fwprintf(stderr, L"package_probe: cannot read %ls\n", file);
            return false;
        }
        wprintf(L"%ls\tnone\n", name);
        return true;
    }
    std::vector<BYTE> block(size);
    if (!::GetFileVersionInfoW(file, 0, size, block.data())) {
        fwprintf(stderr, L"package_probe: no version information in %ls\n", file);
        return false;
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || length < sizeof *fixed) {
        wprintf(L"%ls\tnone\n", name);
        return true;
    }
    struct Translation {
        WORD language;
        WORD codePage;
    }* translation = nullptr;
    WORD language = 0x0409, codePage = 1200;
    if (::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) &&
        length >= sizeof *translation) {
        language = translation->language;
        codePage = translation->codePage;
    }
    const wchar_t* type = fixed->dwFileType == VFT_APP ? L"app" : fixed->dwFileType == VFT_DLL ? L"dll" : L"other";
    wprintf(L"%ls\t%u.%u.%u.%u\t%ls\t%ls\t%ls\t%ls\t%ls\n", name, HIWORD(fixed->dwFileVersionMS),
            LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS), type,
            VersionString(block, language, codePage, L"FileVersion").c_str(),
            VersionString(block, language, codePage, L"ProductVersion").c_str(),
            VersionString(block, language, codePage, L"OriginalFilename").c_str(),
            VersionString(block, language, codePage, L"ProductName").c_str());
    return true;
}

bool PrintSecurity(const wchar_t* text) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(text, SDDL_REVISION_1, &descriptor, nullptr)) {
        fwprintf(stderr, L"package_probe: '%ls' does not parse (error %lu)\n", text, ::GetLastError());
        return false;
    }
    bool ok = true;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!::GetSecurityDescriptorControl(descriptor, &control, &revision) ||
        !::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl) {
        fwprintf(stderr, L"package_probe: '%ls' holds no DACL\n", text);
        ok = false;
    } else {
        wprintf(L"%ls\n", (control & SE_DACL_PROTECTED) ? L"protected" : L"inherits");
        for (DWORD i = 0; i < dacl->AceCount; ++i) {
            void* entry = nullptr;
            if (!::GetAce(dacl, i, &entry)) {
                ok = false;
                break;
            }
            const auto* header = static_cast<const ACE_HEADER*>(entry);
            const wchar_t* kind = nullptr;
            ACCESS_MASK mask = 0;
            PSID sid = nullptr;
            if (header->AceType == ACCESS_ALLOWED_ACE_TYPE) {
                auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
                kind = L"allow";
                mask = allowed->Mask;
                sid = &allowed->SidStart;
            } else if (header->AceType == ACCESS_DENIED_ACE_TYPE) {
                auto* denied = static_cast<ACCESS_DENIED_ACE*>(entry);
                kind = L"deny";
                mask = denied->Mask;
                sid = &denied->SidStart;
            } else {
                wprintf(L"entry of type %u\n", header->AceType);
                continue;
            }
            wchar_t* sidText = nullptr;
            if (!::ConvertSidToStringSidW(sid, &sidText)) {
                ok = false;
                break;
            }
            wprintf(L"%ls %ls 0x%08lx\n", kind, sidText, static_cast<unsigned long>(mask));
            ::LocalFree(sidText);
        }
    }
    ::LocalFree(descriptor);
    return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 3 && wcscmp(argv[1], L"version") == 0) {
        bool ok = true;
        for (int i = 2; i < argc; ++i) ok = PrintVersion(argv[i]) && ok;
        return ok ? 0 : 1;
    }
    if (argc == 3 && wcscmp(argv[1], L"sddl") == 0) return PrintSecurity(argv[2]) ? 0 : 1;
    fwprintf(stderr, L"usage: package_probe version FILE... | package_probe sddl TEXT\n");
    return 2;
}
