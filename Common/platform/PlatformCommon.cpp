// Parts of the platform layer that are the same on every system.
#include "Platform.h"

#include <atomic>
#include <cstdio>
#include <cstring>

namespace plat {

namespace detail {
std::atomic<int64_t> g_writeBudget{-1};

// Charges size bytes against the test write budget; false when it is spent.
bool ChargeWriteBudget(size_t size) {
    int64_t budget = g_writeBudget.load(std::memory_order_relaxed);
    if (budget < 0) return true;
    if (static_cast<uint64_t>(budget) < size) {
        g_writeBudget.store(0, std::memory_order_relaxed);
        return false;
    }
    g_writeBudget.store(budget - static_cast<int64_t>(size), std::memory_order_relaxed);
    return true;
}
}  // namespace detail

void SetWriteBudgetForTesting(int64_t bytes) {
    detail::g_writeBudget.store(bytes < 0 ? -1 : bytes, std::memory_order_relaxed);
}

namespace detail {
std::atomic<int64_t> g_readFaultCountdown{0};
std::atomic<int> g_readFaultKind{0};

// Counts one File::Read or File::ReadAt against the read-fault hook. True when the hook
// decides this read: then *outcome is what the read returns (false with *error = Io for an
// error, true with nothing read for the end of the file).
bool TakeReadFault(IoError* error, bool* outcome) {
    if (g_readFaultCountdown.load(std::memory_order_relaxed) <= 0) return false;
    if (g_readFaultCountdown.fetch_sub(1) != 1) return false;
    *outcome = g_readFaultKind.load() != static_cast<int>(ReadFault::Error);
    if (!*outcome) *error = IoError::Io;
    return true;
}
}  // namespace detail

void SetReadFaultForTesting(int64_t nth, ReadFault kind) {
    detail::g_readFaultKind.store(static_cast<int>(kind));
    detail::g_readFaultCountdown.store(nth < 0 ? 0 : nth);
}

bool ReadFaultPendingForTesting() { return detail::g_readFaultCountdown.load() > 0; }

namespace detail {
std::atomic<bool> g_unnamedFiles{true};
}  // namespace detail

void SetUnnamedFilesForTesting(bool allowed) { detail::g_unnamedFiles.store(allowed); }

namespace detail {
std::atomic<bool> g_shortNames{true};
}  // namespace detail

void SetShortNamesForTesting(bool available) { detail::g_shortNames.store(available); }

bool IsLinkReparseTag(uint32_t tag) {
    return tag == 0 || (tag & 0x20000000u) != 0;  // the name-surrogate bit
}

bool IsLink(const std::wstring& path) { return KindOf(path) == EntryKind::Link; }

std::wstring TemporaryName(const std::wstring& path) {
    Guid g{};
    if (!CreateGuid(&g)) return std::wstring();
    char text[40];
    std::snprintf(text, sizeof text, "%08lX%04X%04x%02X%02X%02X%02X%02X%02X%02X%02X.xml",
                  static_cast<unsigned long>(g.data1), g.data2, g.data3, g.data4[0], g.data4[1], g.data4[2],
                  g.data4[3], g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
    std::wstring out = path;
    for (const char* p = text; *p; ++p) out.push_back(static_cast<wchar_t>(*p));
    return out;
}

File::File(File&& other) noexcept {
    *this = std::move(other);
}

bool File::ReadFull(void* buffer, size_t size, size_t* got) {
    size_t total = 0;
    auto* out = static_cast<unsigned char*>(buffer);
    while (total < size) {
        size_t n = 0;
        if (!Read(out + total, size - total, &n)) {
            *got = total;
            return false;
        }
        if (n == 0) break;
        total += n;
    }
    *got = total;
    return true;
}

std::wstring ParentFolder(const std::wstring& path) {
    size_t cut = path.find_last_of(L"/\\");
    if (cut == std::wstring::npos) return L".";
    if (cut == 0) return path.substr(0, 1);
    return path.substr(0, cut);
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
    if (folder.empty()) return name;
    const wchar_t last = folder.back();
    if (last == L'/' || last == L'\\') return folder + name;
    return folder + PathSeparator() + name;
}

bool ListFolder(const std::wstring& folder, std::vector<std::wstring>* names) {
    return ListFolder(folder, names, nullptr);
}

std::vector<std::wstring> OwnProgramFiles() {
    const std::wstring module = ModulePath();
    if (module.empty()) return {};
#ifdef _WIN32
    const wchar_t* const beside[] = {L"config.xml", L"libeay32.dll", L"dwipe.dll"};
#else
    const wchar_t* const beside[] = {L"config.xml", L"libdwipe.so"};  // libcrypto is the system's
#endif
    std::vector<std::wstring> files{module};
    for (const wchar_t* name : beside) files.push_back(ModuleFilePath(name));
    return files;
}

std::wstring ModuleFilePath(const std::wstring& name) {
    const std::wstring module = ModulePath();
    const size_t cut = module.find_last_of(PathSeparator() == L'\\' ? L"\\/" : L"/");
    if (cut == std::wstring::npos) return std::wstring();
    return module.substr(0, cut + 1) + name;
}

void SecureZero(void* data, size_t size) {
    if (size == 0) return;
    std::memset(data, 0, size);
    // The barrier makes the stores observable, so the optimiser keeps them.
    __asm__ __volatile__("" : : "r"(data) : "memory");
}

std::u16string WideToUtf16(const std::wstring& text) {
    std::u16string out;
    out.reserve(text.size());
    for (wchar_t wc : text) {
        uint32_t c = static_cast<uint32_t>(wc);
        if (sizeof(wchar_t) == 4 && c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return out;
}

std::wstring Utf16ToWide(const std::u16string& text) {
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (sizeof(wchar_t) == 4 && c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() &&
            text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        out.push_back(static_cast<wchar_t>(c));
    }
    return out;
}

// UTF-8 <-> code points, shared by both systems (the settings document is
// UTF-8 everywhere). Malformed input becomes U+FFFD.
std::wstring Utf8ToWide(const std::string& text) {
    std::u16string u16;
    size_t i = 0;
    const size_t n = text.size();
    auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    while (i < n) {
        uint32_t c = byte(i);
        size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        uint32_t cp = 0xFFFD;
        if (len == 1) {
            cp = c;
        } else if (len > 1 && i + len <= n) {
            cp = c & (0x7F >> len);
            bool ok = true;
            for (size_t k = 1; k < len; ++k) {
                if ((byte(i + k) & 0xC0) != 0x80) { ok = false; break; }
                cp = (cp << 6) | (byte(i + k) & 0x3F);
            }
            static const uint32_t minimum[5] = {0, 0, 0x80, 0x800, 0x10000};
            if (!ok || cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) {
                cp = 0xFFFD;
                len = 1;
            }
        } else {
            len = 1;
        }
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            u16.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            u16.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            u16.push_back(static_cast<char16_t>(cp));
        }
    }
    return Utf16ToWide(u16);
}

std::string WideToUtf8(const std::wstring& text) {
    std::u16string u16 = WideToUtf16(text);
    std::string out;
    out.reserve(u16.size());
    for (size_t i = 0; i < u16.size(); ++i) {
        uint32_t c = u16[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < u16.size() && u16[i + 1] >= 0xDC00 && u16[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (u16[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

}  // namespace plat
