// The wiping library: overwrites the whole length of a file, or of every file
// of a folder tree, with the passes its options ask for, pushing each pass to
// the disk before the next. It deletes nothing. See README.md beside this
// file for the options, the result codes and the limits of overwriting.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "platform/Platform.h"

#ifdef _WIN32
#include <windows.h>
#include <bcrypt.h>
#define DWIPE_EXPORT extern "C" __declspec(dllexport)
#define DWIPE_CALL __cdecl
#else
#include <cerrno>
#include <sys/random.h>
#include <sys/stat.h>
#define DWIPE_EXPORT extern "C" __attribute__((visibility("default")))
#define DWIPE_CALL
#endif

namespace {

enum WipeResult : int {
    kWipeOk = 0,
    kWipeUsage = 1,        // unknown option or missing value, no path
    kWipeNotFound = 2,     // a path does not exist
    kWipeFailed = 3,       // a file could not be wiped completely
    kWipeInternal = 4,     // out of memory or another internal failure
};

// A multiple of every pattern length, so patterns run on unbroken across chunks.
constexpr size_t kChunk = 3 * 16 * 1024;
constexpr int kMaxRounds = 100;

// One pass: a repeating byte pattern, or random data when empty.
struct Pass {
    uint8_t pattern[3];
    size_t length;  // 0: random
};

// The pass sequences selectable with -1, -3 and -7; each ends with random data.
const Pass kOnePass[] = {{{0, 0, 0}, 0}};
const Pass kThreePass[] = {{{0x00, 0, 0}, 1}, {{0xFF, 0, 0}, 1}, {{0, 0, 0}, 0}};
const Pass kSevenPass[] = {
    {{0x00, 0, 0}, 1},          {{0xFF, 0, 0}, 1}, {{0, 0, 0}, 0}, {{0x92, 0x49, 0x24}, 3},
    {{0x6D, 0xB6, 0xDB}, 3}, {{0xAA, 0, 0}, 1}, {{0, 0, 0}, 0},
};

struct Options {
    const Pass* passes = kOnePass;
    size_t passCount = 1;
    int rounds = 1;
    bool force = false;
    std::vector<std::wstring> paths;
};

bool FillRandom(uint8_t* data, size_t size) {
#ifdef _WIN32
    while (size > 0) {
        ULONG n = size > 0x100000 ? 0x100000 : static_cast<ULONG>(size);
        if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, data, n, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) return false;
        data += n;
        size -= n;
    }
    return true;
#else
    while (size > 0) {
        ssize_t n = ::getrandom(data, size, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
#endif
}

// True for a file that holds data of its own. Links are never that (they
// are not followed); on POSIX neither are devices, pipes and sockets, which
// are left alone.
bool IsRegularFile(const std::wstring& path) {
    if (plat::IsLink(path) || plat::IsDirectory(path)) return false;
#ifdef _WIN32
    return plat::PathExists(path);
#else
    struct stat st;
    return ::lstat(plat::WideToUtf8(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
#endif
}

class Wiper {
public:
    explicit Wiper(const Options& options) : options_(options), buffer_(kChunk) {}

    // Wipes a file or a folder tree; kWipeOk or the first problem's code,
    // after trying every file.
    int WipePath(const std::wstring& path) {
        if (!plat::PathExists(path)) return kWipeNotFound;
        if (plat::IsLink(path)) return kWipeOk;  // the link holds no data of its own; never followed
        if (plat::IsDirectory(path)) return WipeTree(path) ? kWipeOk : kWipeFailed;
        if (!IsRegularFile(path)) return kWipeOk;
        return WipeFile(path) ? kWipeOk : kWipeFailed;
    }

private:
    bool WipeTree(const std::wstring& folder) {
        std::vector<std::wstring> names;
        if (!plat::ListFolder(folder, &names)) return false;
        bool ok = true;
        for (const std::wstring& name : names) {
            const std::wstring path = plat::JoinPath(folder, name);
            if (plat::IsLink(path)) continue;  // neither followed nor entered
            if (plat::IsDirectory(path)) {
                if (!WipeTree(path)) ok = false;
            } else if (IsRegularFile(path)) {
                if (!WipeFile(path)) ok = false;
            }
        }
        return ok;
    }

    bool WipeFile(const std::wstring& path) {
        if (plat::IsReadOnly(path)) {
            if (!options_.force || !plat::SetReadOnly(path, false)) return false;
        }
        plat::File file;
        // Opening never follows a link, so a name swapped for one meanwhile
        // fails here instead of reaching outside the tree.
        if (!file.Open(path, plat::File::Mode::ReadWrite)) return false;
        int64_t size = 0;
        if (!file.Size(&size)) return false;
        for (int round = 0; round < options_.rounds; ++round) {
            for (size_t p = 0; p < options_.passCount; ++p) {
                if (!WritePass(&file, size, options_.passes[p])) return false;
            }
        }
        return file.Close();
    }

    // Writes the pass over bytes 0 to size and pushes it to the disk.
    bool WritePass(plat::File* file, int64_t size, const Pass& pass) {
        if (!file->Seek(0)) return false;
        if (pass.length > 0) {
            for (size_t i = 0; i < kChunk; ++i) buffer_[i] = pass.pattern[i % pass.length];
        }
        int64_t left = size;
        while (left > 0) {
            const size_t n = left > static_cast<int64_t>(kChunk) ? kChunk : static_cast<size_t>(left);
            if (pass.length == 0 && !FillRandom(buffer_.data(), n)) return false;
            if (!file->Write(buffer_.data(), n)) return false;
            left -= static_cast<int64_t>(n);
        }
        return file->Flush();
    }

    const Options& options_;
    std::vector<uint8_t> buffer_;
};

bool ParseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (!a) return false;
        if (std::strcmp(a, "-1") == 0) {
            options->passes = kOnePass;
            options->passCount = sizeof kOnePass / sizeof kOnePass[0];
        } else if (std::strcmp(a, "-3") == 0) {
            options->passes = kThreePass;
            options->passCount = sizeof kThreePass / sizeof kThreePass[0];
        } else if (std::strcmp(a, "-7") == 0) {
            options->passes = kSevenPass;
            options->passCount = sizeof kSevenPass / sizeof kSevenPass[0];
        } else if (std::strcmp(a, "-f") == 0) {
            options->force = true;
        } else if (std::strcmp(a, "-n") == 0) {
            if (i + 1 >= argc || !argv[i + 1]) return false;
            const char* v = argv[++i];
            char* end = nullptr;
            long n = std::strtol(v, &end, 10);
            if (end == v || *end != '\0' || n < 1 || n > kMaxRounds) return false;
            options->rounds = static_cast<int>(n);
        } else if (a[0] == '-' && a[1] != '\0') {
            return false;
        } else if (a[0] == '\0') {
            return false;
        } else {
            options->paths.push_back(plat::NarrowToWide(a));
        }
    }
    return !options->paths.empty();
}

int WipeAll(int argc, char** argv) {
    if (argc < 2 || !argv) return kWipeUsage;
    Options options;
    if (!ParseOptions(argc, argv, &options)) return kWipeUsage;
    Wiper wiper(options);
    int result = kWipeOk;
    for (const std::wstring& path : options.paths) {
        const int r = wiper.WipePath(path);
        if (result == kWipeOk) result = r;
    }
    return result;
}

}  // namespace

// argv[0] is the caller's program name; then options and one or more paths
// in the narrow code page (the ANSI code page on Windows, UTF-8 elsewhere).
DWIPE_EXPORT int DWIPE_CALL dwipefile(int argc, char** argv) {
    try {
        return WipeAll(argc, argv);
    } catch (...) {
        return kWipeInternal;
    }
}
