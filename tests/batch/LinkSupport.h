// Making links for the tests: a symbolic link on Linux and Windows, and a
// junction on Windows where the system can make one. Under
// Wine, whose CreateSymbolicLinkW creates nothing, a link to a folder is made
// as a Unix symbolic link (by running /bin/ln), which Wine presents as a
// reparse point; Wine shows a Unix link to a file as an ordinary file, so no
// file link is made there.
#pragma once

#include <cstdint>
#include <cstring>
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

// A junction (mount point) at link to the folder target: an empty folder
// given the reparse data. True only when a link now stands there; where the
// system cannot make one (Wine, or elsewhere than Windows), nothing is left.
inline bool MakeTestJunction(const std::wstring& target, const std::wstring& link) {
#ifdef _WIN32
    if (!::CreateDirectoryW(link.c_str(), nullptr)) return false;
    HANDLE h = ::CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    bool made = false;
    if (h != INVALID_HANDLE_VALUE) {
        // REPARSE_DATA_BUFFER for IO_REPARSE_TAG_MOUNT_POINT: tag, data
        // length, reserved, then the substitute and print names.
        const std::wstring substitute = L"\\??\\" + target;
        const size_t names = (substitute.size() + 1 + 1) * sizeof(wchar_t);
        std::vector<unsigned char> data(8 + 8 + names, 0);
        auto put16 = [&](size_t at, size_t v) {
            data[at] = static_cast<unsigned char>(v);
            data[at + 1] = static_cast<unsigned char>(v >> 8);
        };
        const uint32_t tag = 0xA0000003u;
        for (int i = 0; i < 4; ++i) data[static_cast<size_t>(i)] = static_cast<unsigned char>(tag >> (8 * i));
        put16(4, 8 + names);                                    // data length
        put16(8, 0);                                            // substitute name offset
        put16(10, substitute.size() * sizeof(wchar_t));         // its length
        put16(12, (substitute.size() + 1) * sizeof(wchar_t));  // print name offset
        put16(14, 0);                                           // its length
        std::memcpy(&data[16], substitute.c_str(), substitute.size() * sizeof(wchar_t));
        DWORD returned = 0;
        made = ::DeviceIoControl(h, 0x000900A4 /* FSCTL_SET_REPARSE_POINT */, data.data(),
                                 static_cast<DWORD>(data.size()), nullptr, 0, &returned, nullptr) != 0;
        ::CloseHandle(h);
    }
    if (made && plat::IsLink(link)) return true;
    ::RemoveDirectoryW(link.c_str());
    return false;
#else
    (void)target;
    (void)link;
    return false;
#endif
}

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
