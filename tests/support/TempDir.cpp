#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "platform/Platform.h"
#include "support/TestSupport.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace testing_support {

std::wstring Join(const std::wstring& a, const std::wstring& b) {
    if (!a.empty() && (a.back() == L'/' || a.back() == L'\\')) return a + b;
    return a + plat::PathSeparator() + b;
}

namespace {

// A path from the environment, in the running system's form: under Wine a
// POSIX path is reached through drive Z:.
std::wstring HostPath(std::string p) {
#ifdef _WIN32
    if (!p.empty() && p[0] == '/') {
        p = "Z:" + p;
        for (char& c : p)
            if (c == '/') c = '\\';
    }
#endif
    return plat::Utf8ToWide(p);
}

// Where scratch folders go: CORVA_TEST_TMP when set (CTest sets it to a
// folder of the build tree, so that no test writes into a Wine prefix that
// other tests copy or use), else the system's temporary folder.
std::wstring ScratchBase() {
    const char* own = std::getenv("CORVA_TEST_TMP");
    if (own && *own) {
        std::wstring base = HostPath(own);
        MakeFolder(base);  // may exist already
        return base;
    }
#ifdef _WIN32
    wchar_t base[MAX_PATH + 1];
    ::GetTempPathW(MAX_PATH + 1, base);
    return base;
#else
    const char* t = std::getenv("TMPDIR");
    return plat::Utf8ToWide(t && *t ? t : "/tmp");
#endif
}

}  // namespace

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    plat::Guid g{};
    plat::CreateGuid(&g);
    wchar_t name[64];
    std::swprintf(name, 64, L"corva-test-%08x-%d", static_cast<unsigned>(g.data1), counter++);
    path_ = Join(ScratchBase(), name);
    MakeFolder(path_);
}

TempDir::~TempDir() { RemoveTree(path_); }

std::wstring TempDir::operator/(const std::wstring& name) const { return Join(path_, name); }

bool WriteFileBytes(const std::wstring& path, const Bytes& data) {
    plat::File f;
    return f.Open(path, plat::File::Mode::CreateAlways) && f.Write(data.data(), data.size()) && f.Close();
}

bool WriteFileText(const std::wstring& path, const std::string& text) {
    return WriteFileBytes(path, Bytes(text.begin(), text.end()));
}

Bytes ReadFileBytes(const std::wstring& path) {
    plat::File f;
    Bytes out;
    if (!f.Open(path, plat::File::Mode::Read)) return out;
    uint8_t buf[65536];
    size_t got = 0;
    while (f.Read(buf, sizeof buf, &got) && got > 0) out.insert(out.end(), buf, buf + got);
    return out;
}

bool MakeFolder(const std::wstring& path) {
#ifdef _WIN32
    return ::CreateDirectoryW(path.c_str(), nullptr) != 0;
#else
    return ::mkdir(plat::WideToUtf8(path).c_str(), 0777) == 0;
#endif
}

void RemoveTree(const std::wstring& path) {
    if (plat::IsDirectory(path)) {
        std::vector<std::wstring> names;
        plat::ListFolder(path, &names);
        for (const auto& n : names) RemoveTree(Join(path, n));
#ifdef _WIN32
        ::RemoveDirectoryW(path.c_str());
#else
        ::rmdir(plat::WideToUtf8(path).c_str());
#endif
        return;
    }
#ifdef _WIN32
    if (plat::IsLink(path) && (::GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY)) {
        ::RemoveDirectoryW(path.c_str());
        return;
    }
#endif
    plat::SetReadOnly(path, false);
    plat::RemoveFile(path);
}

std::vector<std::wstring> ListNames(const std::wstring& folder) {
    std::vector<std::wstring> names;
    plat::ListFolder(folder, &names);
    std::sort(names.begin(), names.end());
    return names;
}

bool MakeLink(const std::wstring& target, const std::wstring& link) {
#ifdef _WIN32
    DWORD flags = plat::IsDirectory(target) ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0;
    // Some Windows layers report success without making a link: check.
    return ::CreateSymbolicLinkW(link.c_str(), target.c_str(), flags | 0x2 /* unprivileged */) != 0 &&
           plat::IsLink(link);
#else
    return ::symlink(plat::WideToUtf8(target).c_str(), plat::WideToUtf8(link).c_str()) == 0;
#endif
}

bool MakeHardLink(const std::wstring& existing, const std::wstring& link) {
#ifdef _WIN32
    return ::CreateHardLinkW(link.c_str(), existing.c_str(), nullptr) != 0;
#else
    return ::link(plat::WideToUtf8(existing).c_str(), plat::WideToUtf8(link).c_str()) == 0;
#endif
}

bool ModifiedTime(const std::wstring& path, int64_t* seconds, uint32_t* nanoseconds) {
#ifdef _WIN32
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
    // 100-nanosecond ticks since 1601.
    const int64_t ticks = static_cast<int64_t>((static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                               data.ftLastWriteTime.dwLowDateTime) -
                          116444736000000000LL;
    *seconds = ticks / 10000000;
    int64_t rest = ticks % 10000000;
    if (rest < 0) {
        rest += 10000000;
        --*seconds;
    }
    *nanoseconds = static_cast<uint32_t>(rest * 100);
    return true;
#else
    struct stat st;
    if (::lstat(plat::WideToUtf8(path).c_str(), &st) != 0) return false;
    *seconds = static_cast<int64_t>(st.st_mtim.tv_sec);
    *nanoseconds = static_cast<uint32_t>(st.st_mtim.tv_nsec);
    return true;
#endif
}

bool NoBlockSurvives(const Bytes& data, const Bytes& original) {
    constexpr size_t kBlock = 16;
    if (data.size() != original.size() || data.size() < kBlock) return false;
    for (size_t at = 0; at < data.size(); at += kBlock) {
        const size_t start = std::min(at, data.size() - kBlock);
        if (std::equal(data.begin() + start, data.begin() + start + kBlock, original.begin() + start)) return false;
    }
    return true;
}

std::wstring VectorsDir() {
    const char* v = std::getenv("CORVA_TEST_VECTORS");
    return HostPath(v ? v : "tests/vectors");
}

Bytes FromHex(const std::string& hex) {
    Bytes out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        while (i < hex.size() && (hex[i] == ' ' || hex[i] == '\n')) ++i;
        if (i + 1 >= hex.size()) break;
        out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

std::string ToHex(const uint8_t* data, size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < size; ++i) {
        s.push_back(digits[data[i] >> 4]);
        s.push_back(digits[data[i] & 15]);
    }
    return s;
}

Bytes PseudoRandom(size_t size, uint32_t seed) {
    Bytes out(size);
    uint32_t x = seed ? seed : 1;
    for (auto& b : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x);
    }
    return out;
}

}  // namespace testing_support
