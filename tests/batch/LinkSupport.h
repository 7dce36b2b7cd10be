// Making links for the tests: a symbolic link on Linux and Windows. Under
// Wine, whose CreateSymbolicLinkW creates nothing, a link to a folder is made
// as a Unix symbolic link (by running /bin/ln), which Wine presents as a
// reparse point; Wine shows a Unix link to a file as an ordinary file, so no
// file link is made there.
#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"
#include "support/TestSupport.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace link_support {

#ifdef _WIN32
inline std::string UnixName(const std::wstring& path) {
    using Fn = char*(CDECL*)(LPCWSTR);
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    auto fn = kernel ? reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(
                           ::GetProcAddress(kernel, "wine_get_unix_file_name")))
                     : nullptr;
    if (!fn) return std::string();
    char* name = fn(path.c_str());
    if (!name) return std::string();
    std::string out(name);
    ::HeapFree(::GetProcessHeap(), 0, name);
    return out;
}

// Runs a Unix program under Wine with the given arguments.
inline bool RunUnix(const wchar_t* program, const std::wstring& arguments) {
    std::wstring cmd = std::wstring(program) + L" " + arguments;
    std::wstring image = std::wstring(L"Z:") + program;
    for (wchar_t& c : image)
        if (c == L'/') c = L'\\';
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(image.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(pi.hThread);
    return true;
}

// Unix links made under Wine, removed again by LinkCleanup.
inline std::vector<std::wstring>& WineLinks() {
    static std::vector<std::wstring> links;
    return links;
}

inline bool UnixSymlink(const std::wstring& target, const std::wstring& link) {
    const std::string t = UnixName(target), l = UnixName(link);
    if (t.empty() || l.empty()) return false;
    if (!RunUnix(L"/bin/ln", L"-s \"" + plat::Utf8ToWide(t) + L"\" \"" + plat::Utf8ToWide(l) + L"\"")) return false;
    // Wine does not wait for a Unix process through its handle: wait for the
    // link to appear instead, for at most about ten seconds.
    for (int i = 0; i < 1000 && !plat::PathExists(link); ++i) ::Sleep(10);
    if (!plat::PathExists(link)) return false;
    WineLinks().push_back(link);
    return true;
}
#endif

// Declared after a test's TempDir: removes the Unix links made under Wine
// before the folder is taken apart (Wine cannot remove them as links).
class LinkCleanup {
public:
    LinkCleanup() = default;
    ~LinkCleanup() {
#ifdef _WIN32
        for (const std::wstring& link : WineLinks()) {
            const std::string l = UnixName(link);
            if (l.empty() || !plat::PathExists(link)) continue;
            if (!RunUnix(L"/bin/rm", L"-f \"" + plat::Utf8ToWide(l) + L"\"")) continue;
            for (int i = 0; i < 1000 && plat::PathExists(link); ++i) ::Sleep(10);
        }
        WineLinks().clear();
#endif
    }
    LinkCleanup(const LinkCleanup&) = delete;
    LinkCleanup& operator=(const LinkCleanup&) = delete;
};

// True only when a link now stands at link (plat::IsLink sees it).
inline bool MakeTestLink(const std::wstring& target, const std::wstring& link) {
#ifdef _WIN32
    if (!UnixName(target).empty()) {
        // Wine: only a link to a folder is shown as a reparse point. A Unix
        // link to a file looks like the file itself (and deleting it there
        // deletes the target too), so none is made.
        if (!plat::IsDirectory(target)) return false;
        return UnixSymlink(target, link) && plat::IsLink(link);
    }
#endif
    return testing_support::MakeLink(target, link) && plat::IsLink(link);
}

// Whether a link can be removed as a link here. Wine opens the target of a
// Unix link, so the platform layer refuses to remove one there (removing it
// would remove the target); on Windows and Linux links are removed.
inline bool RemovesLinksAsLinks() {
#ifdef _WIN32
    return UnixName(L"C:\\").empty();
#else
    return true;
#endif
}

}  // namespace link_support
