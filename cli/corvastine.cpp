// corvastine: command-line front end of the locked-file engine, for scripts
// and for recovering locked files on any machine.
#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/Batch.h"
#include "engine/BatchOutcome.h"
#include "engine/FileWorkers.h"
#include "engine/LockedFile.h"
#include "engine/Progress.h"
#include "engine/SecretText.h"
#include "open/OpenMessages.h"
#include "open/WorkingCopies.h"
#include "platform/OpenSupport.h"
#include "platform/Platform.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace {

const char kUsage[] =
    "Usage: corvastine COMMAND [--password-file FILE] [--replace] PATH...\n"
    "\n"
    "Commands:\n"
    "  lock PATH...     lock files and folder trees in place: each file becomes\n"
    "                   NAME.corvastine beside it (gzip-compressed, then enciphered\n"
    "                   with AES-256); the plain file is deleted only after its\n"
    "                   locked file was written, flushed to disk and read back whole.\n"
    "                   A folder: every file in it, depth-first. A NAME.corvastine\n"
    "                   that holds a locked file is skipped; any other file is\n"
    "                   locked, whatever its name.\n"
    "  unlock PATH...   unlock \".corvastine\" files back to their plain names; a\n"
    "                   folder: every locked file in it. The locked file is deleted\n"
    "                   only after the plain file was restored completely. A file\n"
    "                   of the plain name is not replaced unless --replace is given.\n"
    "  verify PATH...   check the password and the integrity of locked files,\n"
    "                   writing nothing.\n"
    "  info PATH...     print the header fields of locked files (no password).\n"
    "  open FILE        unlock a locked file into a private working folder of the\n"
    "                   current user (readable by that user only) and open it with\n"
    "                   its default program (on Linux: xdg-open), or with the\n"
    "                   program given by --with. When that program has ended and\n"
    "                   no program holds the file any more, the copy is locked\n"
    "                   again over FILE if it changed (the new locked file replaces\n"
    "                   the old one only once it was written and read back whole),\n"
    "                   and shredded. Copies left by an earlier run that stopped\n"
    "                   are shredded, or locked again after a question when they\n"
    "                   changed. A program that hands the file to an instance\n"
    "                   already running and does not keep it open cannot be\n"
    "                   watched: give one with --with that stays until it is done.\n"
    "  shred PATH...    destroy files and folder trees beyond recovery with the\n"
    "                   wiping library beside this program, after a question\n"
    "                   (unless --yes). The program's own files are refused.\n"
    "\n"
    "Options:\n"
    "  --password-file FILE  read the password from the first line of FILE (without\n"
    "                        its line ending) instead of asking on the terminal.\n"
    "  --replace             unlock: replace an existing file of the plain name.\n"
    "  --with PROGRAM        open: the program to open the working copy with.\n"
    "  --yes                 shred: do not ask. open: lock changed copies left by\n"
    "                        an earlier run again without asking.\n"
    "  -h, --help            show this text.\n"
    "  --version             show the version.\n"
    "\n"
    "Without --password-file the password is asked on the terminal without echo,\n"
    "twice for lock (the two must match). It is never taken from the command line.\n"
    "Symbolic links and junctions are never followed; FIFOs, sockets and devices\n"
    "are never opened.\n"
    "\n"
    "One line is printed per file: done, or why it failed. On a terminal, a file or\n"
    "folder that takes more than a second shows a progress line meanwhile.\n"
    "Exit status: 0 when everything succeeded, 1 when anything failed, 2 on a\n"
    "usage error.\n";

// ------------------------------------------------------------ text
bool IsValidUtf8(const std::string& s) {
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > s.size()) return false;
        for (size_t k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += len;
    }
    return true;
}

// Turns typed text into the system's narrow password text. False when a
// character has no place in the system's code page: it would be replaced,
// and a file would be locked under a different password than typed.
bool WideToPassword(const std::wstring& wide, std::string* out) {
    *out = plat::WideToNarrow(wide);
    std::wstring back = plat::NarrowToWide(*out);
    bool same = back == wide;
    if (!back.empty()) plat::SecureZero(&back[0], back.size() * sizeof(wchar_t));
    return same;
}

// ------------------------------------------------------------ terminal
bool StdoutIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stdout)) != 0;
#else
    return ::isatty(STDOUT_FILENO) != 0;
#endif
}

// Reads one line from the terminal without echo; false when there is no
// terminal to ask.
bool ReadHidden(const char* prompt, corva::SecretText* out) {
#ifdef _WIN32
    HANDLE in = ::CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (in == INVALID_HANDLE_VALUE) return false;
    DWORD mode = 0;
    if (!::GetConsoleMode(in, &mode)) {
        ::CloseHandle(in);
        return false;
    }
    std::fputs(prompt, stderr);
    std::fflush(stderr);
    ::SetConsoleMode(in, (mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) | ENABLE_LINE_INPUT);
    std::wstring line;
    wchar_t buf[256];
    DWORD n = 0;
    bool ok = true;
    for (;;) {
        if (!::ReadConsoleW(in, buf, 256, &n, nullptr) || n == 0) {
            ok = false;
            break;
        }
        line.append(buf, n);
        if (line.find(L'\n') != std::wstring::npos) break;
    }
    plat::SecureZero(buf, sizeof buf);
    ::SetConsoleMode(in, mode);
    ::CloseHandle(in);
    std::fputs("\n", stderr);
    while (!line.empty() && (line.back() == L'\n' || line.back() == L'\r')) line.pop_back();
    if (ok && !WideToPassword(line, &out->Buffer())) {
        std::fputs("corvastine: the password has characters outside the system code page\n", stderr);
        ok = false;
    }
    if (!line.empty()) plat::SecureZero(&line[0], line.size() * sizeof(wchar_t));
    return ok;
#else
    int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    struct termios old {};
    if (::tcgetattr(fd, &old) != 0) {
        ::close(fd);
        return false;
    }
    struct termios quiet = old;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ICANON;
    if (::write(fd, prompt, std::strlen(prompt)) < 0) {
    }
    ::tcsetattr(fd, TCSAFLUSH, &quiet);
    std::string& line = out->Buffer();
    line.clear();
    char c;
    bool ok = false;
    while (::read(fd, &c, 1) == 1) {
        if (c == '\n') {
            ok = true;
            break;
        }
        line.push_back(c);
    }
    ::tcsetattr(fd, TCSAFLUSH, &old);
    if (::write(fd, "\n", 1) < 0) {
    }
    ::close(fd);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return ok;
#endif
}

bool ReadPasswordFile(const std::string& file, corva::SecretText* out) {
    plat::File f;
    if (!f.Open(plat::NarrowToWide(file), plat::File::Mode::Read)) return false;
    std::string& text = out->Buffer();
    text.clear();
    char buf[512];
    size_t got = 0;
    while (f.Read(buf, sizeof buf, &got) && got > 0) {
        const char* end = static_cast<const char*>(std::memchr(buf, '\n', got));
        text.append(buf, end ? static_cast<size_t>(end - buf) : got);
        if (end) break;
        if (text.size() > 65536) break;
    }
    plat::SecureZero(buf, sizeof buf);
    if (!text.empty() && text.back() == '\r') text.pop_back();
    // A file in UTF-8 (with or without a byte-order mark) means the same
    // password on every system: turn it into the system's narrow text.
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    bool ok = true;
    if (IsValidUtf8(text)) {
        std::wstring wide = plat::Utf8ToWide(text);
        std::string narrow;
        ok = WideToPassword(wide, &narrow);
        if (!text.empty()) plat::SecureZero(&text[0], text.size());
        text.swap(narrow);
        if (!narrow.empty()) plat::SecureZero(&narrow[0], narrow.size());
        if (!wide.empty()) plat::SecureZero(&wide[0], wide.size() * sizeof(wchar_t));
    }
    return ok;
}

// ------------------------------------------------------------ progress
// A line redrawn in place while one file or folder takes more than a second.
struct ProgressBar {
    bool enabled = false;
    bool drawn = false;
    std::string name;
    int lastPercent = -1;
    const char* lastStage = nullptr;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();

    void Begin() { start = std::chrono::steady_clock::now(); }
    bool Due() const { return enabled && std::chrono::steady_clock::now() - start >= std::chrono::seconds(1); }
};

void DrawProgress(void* context, const char* stage, uint64_t done, uint64_t total) {
    auto* bar = static_cast<ProgressBar*>(context);
    if (!bar->Due()) return;
    int percent = total ? static_cast<int>(done * 100 / total) : 100;
    if (percent == bar->lastPercent && stage == bar->lastStage) return;
    bar->lastPercent = percent;
    bar->lastStage = stage;
    char line[160];
    int filled = percent * 30 / 100;
    std::snprintf(line, sizeof line, "\r%-10s [%-30.*s] %3d%% ", stage, filled,
                  "##############################", percent);
    std::fputs(line, stdout);
    std::fflush(stdout);
    bar->drawn = true;
}

// A folder's count, or a command's own line, in the same place.
void DrawCount(ProgressBar* bar, const char* stage, size_t done, size_t total) {
    if (!bar->Due()) return;
    std::printf("\r%-10s %zu of %zu ", stage, done, total);
    std::fflush(stdout);
    bar->drawn = true;
}

void ClearProgress(ProgressBar* bar) {
    if (bar->drawn) std::fputs("\r                                                     \r", stdout);
    bar->drawn = false;
    bar->lastPercent = -1;
}

// ------------------------------------------------------------ walking
enum class Command { Lock, Unlock, Verify, Info, Open, Shred };

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
    if (!folder.empty() && (folder.back() == L'/' || folder.back() == L'\\')) return folder + name;
    return folder + plat::PathSeparator() + name;
}

// Collects the files below a folder depth-first; links are reported, not
// followed.
void CollectFiles(const std::wstring& folder, bool clean, std::vector<std::wstring>* files,
                  std::vector<std::wstring>* links, std::vector<std::wstring>* specials,
                  std::vector<std::wstring>* unreadable) {
    std::vector<std::wstring> names;
    if (!plat::ListFolder(folder, &names)) {
        unreadable->push_back(folder);
        return;
    }
    // Temporaries an earlier version left when it was killed are removed,
    // never locked as files of their own.
    if (clean && corva::RemoveStaleTemporaries(folder, names, nullptr) > 0 && !plat::ListFolder(folder, &names)) {
        unreadable->push_back(folder);
        return;
    }
    std::sort(names.begin(), names.end());
    for (const auto& name : names) {
        std::wstring path = Join(folder, name);
        switch (plat::KindOf(path)) {
            case plat::EntryKind::Link: links->push_back(path); break;
            case plat::EntryKind::Folder: CollectFiles(path, clean, files, links, specials, unreadable); break;
            case plat::EntryKind::Special: specials->push_back(path); break;
            default: files->push_back(path); break;
        }
    }
}

std::string Show(const std::wstring& path) { return plat::WideToNarrow(path); }

const char* Reason(int code) {
    switch (code) {
        case corva::kNoPassword: return "no password given";
        case corva::kIoFailure: return "a file could not be opened, read or written (disk full?)";
        case corva::kDestinationExists: return "the target name already exists";
        case corva::kSizeMismatch: return "the locked file is truncated";
        case corva::kNotLockedFile: return "not a locked file";
        case corva::kWrongPassword: return "wrong password";
        case corva::kDamagedPayload: return "the locked file is damaged";
        case corva::kNotAFile: return "not a regular file (a link, FIFO, socket or device), left alone";
        default: return "failed";
    }
}

std::string Hex(const uint8_t* p, size_t n) {
    std::string s;
    char b[3];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, "%02x", p[i]);
        s += b;
    }
    return s;
}

// Why a lock failed, for the user's line.
const char* LockFailure(const std::wstring& path, int code) {
    switch (code) {
        case corva::kDestinationExists: return "its locked file already exists";
        case corva::kPlainNotDeleted:
            return "the plain file could not be deleted, so its locked copy was removed again; nothing was changed";
        case corva::kNotAFile: return Reason(code);
        default: break;
    }
    if (!plat::PathExists(path)) return "no such file";
    plat::File f;
    if (!f.Open(path, plat::File::Mode::Read)) return "cannot be read";
    return "could not be read or written (disk full or no permission?); nothing was changed";
}

// What handling one file came to: the line for the user, and whether it failed.
struct Outcome {
    std::string line;
    int failed = 0;
};

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    char buffer[2048];
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

// Handles one file; prints nothing, so that several can run at once.
// keys: headers and keys for locking made ahead on this thread, or nullptr.
Outcome Handle(Command cmd, const std::wstring& path, const char* password, bool replace,
               corva::LockKeySource* keys = nullptr) {
    const std::string shown = Show(path);
    switch (cmd) {
        case Command::Lock: {
            if (HasLockedExtension(path) && IsLockedFile(path)) {
                return {Format("%s: skipped, already locked\n", shown.c_str()), 0};
            }
            const int code = corva::LockFile(path, password, nullptr, keys);
            if (code == corva::kOk) return {Format("%s: locked\n", shown.c_str()), 0};
            return {Format("%s: not locked, %s\n", shown.c_str(), LockFailure(path, code)), 1};
        }
        case Command::Unlock: {
            if (!HasLockedExtension(path)) {
                return {Format("%s: not unlocked, the name does not end in .corvastine\n", shown.c_str()), 1};
            }
            const int code = corva::UnlockFile(path, password, replace, nullptr);
            const std::string restored = shown.substr(0, shown.size() - 11);
            switch (code) {
                case corva::kOk: return {Format("%s: unlocked\n", shown.c_str()), 0};
                case corva::kLockedNotDeleted:
                    return {Format("%s: unlocked to %s, but the locked file could not be deleted\n", shown.c_str(),
                                   restored.c_str()),
                            1};
                case corva::kDestinationExists:
                    return {Format("%s: not unlocked, %s exists; use --replace to overwrite\n", shown.c_str(),
                                   restored.c_str()),
                            1};
                default:
                    return {Format("%s: not unlocked, %s; nothing was changed\n", shown.c_str(), Reason(code)), 1};
            }
        }
        case Command::Verify: {
            int code = corva::VerifyLockedFile(password, path, nullptr);
            if (code == corva::kOk) {
                return {Format("%s: ok\n", shown.c_str()), 0};
            }
            return {Format("%s: bad, %s\n", shown.c_str(), Reason(code)), 1};
        }
        case Command::Info: {
            corva::LockedFileHeader h;
            int64_t size = 0;
            if (!IsLockedFile(path) || !loadheader(path.c_str(), &h, nullptr) || !plat::FileSize(path, &size)) {
                return {Format("%s: not a locked file\n", shown.c_str()), 1};
            }
            std::string text = Format("%s:\n", shown.c_str());
            text += Format("  magic          0x%04X\n", h.magic);
            text += Format("  version        %u\n", h.version);
            text += Format("  salt           %s\n", Hex(h.salt, 32).c_str());
            text += Format("  sealed token   %s\n", Hex(h.sealedToken, 32).c_str());
            text += Format("  sealed digest  %s\n", Hex(h.sealedDigest, 32).c_str());
            text += Format("  iv             %s\n", Hex(h.iv, 16).c_str());
            text += Format("  iv (unused)    %s\n", Hex(h.iv + 16, 48).c_str());
            text += Format("  payload size   %llu\n", static_cast<unsigned long long>(h.payloadSize));
            text += Format("  file size      %lld (%lld body blocks)\n", static_cast<long long>(size),
                        static_cast<long long>((size - 172) / 16));
            const bool consistent =
                static_cast<uint64_t>((size - 172) / 16) == h.payloadSize / 16 + 1;
            if (!consistent) text += Format("  warning        the body length does not match the payload size\n");
            return {text, consistent ? 0 : 1};
        }
        case Command::Open:
        case Command::Shred: break;  // not per file
    }
    return {std::string(), 1};
}

int RunOne(Command cmd, const std::wstring& path, const char* password, bool replace, ProgressBar* bar) {
    bar->name = Show(path);
    bar->Begin();
    Outcome o = Handle(cmd, path, password, replace);
    ClearProgress(bar);
    std::fputs(o.line.c_str(), stdout);
    return o.failed;
}

// ------------------------------------------------------------ questions
// Asks a question on the terminal; true only for an answer starting with y.
// *asked is false when there is no terminal to ask on.
bool AskYes(const std::string& question, bool* asked) {
    *asked = false;
    std::string answer;
#ifdef _WIN32
    HANDLE in = ::CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    DWORD mode = 0;
    if (in == INVALID_HANDLE_VALUE) return false;
    if (!::GetConsoleMode(in, &mode)) {
        ::CloseHandle(in);
        return false;
    }
    *asked = true;
    std::fprintf(stderr, "%s [y/N] ", question.c_str());
    std::fflush(stderr);
    wchar_t buf[64];
    DWORD n = 0;
    if (::ReadConsoleW(in, buf, 64, &n, nullptr) && n > 0) answer = plat::WideToNarrow(std::wstring(buf, n));
    ::CloseHandle(in);
#else
    int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    *asked = true;
    const std::string prompt = question + " [y/N] ";
    if (::write(fd, prompt.data(), prompt.size()) < 0) {
    }
    char c;
    while (::read(fd, &c, 1) == 1 && c != '\n') answer.push_back(c);
    ::close(fd);
#endif
    return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

std::wstring LeafName(const std::wstring& path) {
    size_t end = path.size();
    while (end > 0 && (path[end - 1] == L'\\' || path[end - 1] == L'/')) --end;
    size_t start = end;
    while (start > 0 && path[start - 1] != L'\\' && path[start - 1] != L'/') --start;
    return path.substr(start, end - start);
}

// The desktop program's shred question, word for word.
std::wstring ShredQuestion(const std::vector<std::wstring>& paths) {
    if (paths.size() == 1) {
        if (plat::IsDirectory(paths[0]))
            return L"Do you really want to shred the folder \"" + LeafName(paths[0]) + L"\" and everything in it?";
        return L"Do you really want to shred the file \"" + LeafName(paths[0]) + L"\"?";
    }
    const size_t shown = 5;
    std::wstring text = L"Do you really want to shred these " + std::to_wstring(paths.size()) + L" items?\n";
    for (size_t i = 0; i < paths.size() && i < shown; ++i) text += L"\n" + LeafName(paths[i]);
    if (paths.size() > shown) text += L"\nand " + std::to_wstring(paths.size() - shown) + L" more";
    return text;
}

// ------------------------------------------------------------ shred
int RunShred(const std::vector<std::wstring>& paths, bool yes, ProgressBar* bar) {
    if (!yes) {
        bool asked = false;
        const bool sure = AskYes(Show(ShredQuestion(paths)), &asked);
        if (!asked) {
            std::fputs("corvastine: no terminal to ask on; use --yes to shred without a question\n", stderr);
            return 2;
        }
        if (!sure) {
            std::fputs("Nothing was shredded.\n", stdout);
            return 1;
        }
    }
    ShredBatch batch(paths);
    batch.SetProtectedPaths(plat::OwnProgramFiles());
    if (!batch.Start(0)) {
        std::fputs("corvastine: the shredding could not be started; nothing was shredded\n", stderr);
        return 1;
    }
    bar->Begin();
    while (!batch.HasEnded()) {
        bool stop = false;
        std::wstring status, current;
        batch.GetProgress(&stop, &status, &current);
        if (bar->Due() && !current.empty()) {
            std::printf("\rshred      %-60.60s", Show(LeafName(current)).c_str());
            std::fflush(stdout);
            bar->drawn = true;
        }
        plat::SleepMilliseconds(100);
    }
    ClearProgress(bar);
    const corva::BatchReport report = batch.Report();
    const std::wstring summary = corva::BatchSummaryText(report, std::wstring());
    std::printf("%zu file%s shredded.\n", report.filesDone, report.filesDone == 1 ? "" : "s");
    if (!summary.empty()) std::printf("%s\n", Show(summary).c_str());
    return report.failures.empty() ? 0 : 1;
}

// ------------------------------------------------------------ open
std::wstring AbsolutePath(const std::wstring& path) {
#ifdef _WIN32
    wchar_t buffer[32768];
    const DWORD n = ::GetFullPathNameW(path.c_str(), 32768, buffer, nullptr);
    return n > 0 && n < 32768 ? std::wstring(buffer, n) : path;
#else
    if (!path.empty() && path[0] == L'/') return path;
    char cwd[4096];
    if (!::getcwd(cwd, sizeof cwd)) return path;
    return plat::JoinPath(plat::NarrowToWide(cwd), path);
#endif
}

// Working copies an earlier run left behind: unchanged ones are shredded,
// changed ones locked again once the user agrees. Returns the failures.
int RecoverLeftovers(const corva::WorkingArea& area, const char* password, bool yes) {
    const std::vector<corva::RecoveryItem> plan = corva::PlanRecovery(area.Entries());
    if (plan.empty()) return 0;
    bool relock = yes;
    if (!yes && corva::PlanNeedsQuestion(plan)) {
        bool asked = false;
        relock = AskYes(Show(corva::RecoveryQuestion(plan)), &asked);
    }
    int failures = 0;
    for (const auto& item : plan) {
        const corva::FinishOutcome done = corva::CarryOut(item, password, relock, std::wstring(), nullptr);
        if (done.status == corva::FinishStatus::Tidied) continue;
        std::printf("%s\n", Show(corva::DescribeFinish(done)).c_str());
        if (!corva::WentWell(done.status)) ++failures;
    }
    return failures;
}

int RunOpen(const std::wstring& given, const char* password, const std::wstring& program, bool yes) {
    const std::wstring file = AbsolutePath(given);
    corva::WorkingArea area(corva::DefaultWorkingRoot());
    RecoverLeftovers(area, password, yes);
    const corva::OpenOutcome opened = corva::UnlockForEditing(area, file, password, nullptr);
    if (opened.status != corva::OpenStatus::Opened) {
        std::printf("%s\n", Show(corva::DescribeOpenFailure(opened, file)).c_str());
        return 1;
    }
    const corva::WorkingEntry& entry = opened.entry;
    plat::ComScope com;
    plat::ChildProcess child;
    if (!child.Open(entry.copyPath, program)) {
        std::printf("%s: no program could be started on it.\n", Show(file).c_str());
        const corva::FinishOutcome done = corva::FinishEntry(entry, password, std::wstring(), nullptr);
        std::printf("%s\n", Show(corva::DescribeFinish(done)).c_str());
        return 1;
    }
    std::printf("%s: opened as %s; waiting until no program has it open.\n", Show(file).c_str(),
                Show(entry.copyPath).c_str());
    std::fflush(stdout);
    corva::PollBackoff backoff;
    corva::DoneWatch watch;
    bool wasBusy = true;
    for (;;) {
        const bool running = child.Running();
        const plat::FileUse use = plat::ProbeFileUse(entry.copyPath);
        if (watch.Look(running, use)) break;
        // Once the program has let go, the next looks come soon again.
        const bool busy = running || use == plat::FileUse::InUse;
        if (busy != wasBusy) backoff.Reset();
        wasBusy = busy;
        plat::SleepMilliseconds(backoff.Next());
    }
    const corva::FinishOutcome done = corva::FinishEntry(entry, password, std::wstring(), nullptr);
    std::printf("%s\n", Show(corva::DescribeFinish(done)).c_str());
    return corva::WentWell(done.status) ? 0 : 1;
}

#ifdef _WIN32
using ArgChar = wchar_t;
std::wstring ArgToWide(const wchar_t* a) { return a; }
std::string ArgToNarrow(const wchar_t* a) { return plat::WideToNarrow(a); }
#else
using ArgChar = char;
std::wstring ArgToWide(const char* a) { return plat::NarrowToWide(a); }
std::string ArgToNarrow(const char* a) { return a; }
#endif

// What the command line asks for.
struct Arguments {
    Command cmd = Command::Lock;
    std::string passwordFile;
    bool replace = false, yes = false;
    std::wstring program;
    std::vector<std::wstring> paths;
};

// Reads the command line into *args. Returns -1 to go on, or the exit code
// to end with: 0 after the help or the version, 2 after a usage error.
int ParseArguments(int argc, ArgChar** argv, Arguments* args) {
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::string verb = ArgToNarrow(argv[1]);
    if (verb == "-h" || verb == "--help" || verb == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (verb == "--version" || verb == "-V") {
        std::printf("corvastine %s\n", CORVA_VERSION_TEXT);
        return 0;
    }
    Command& cmd = args->cmd;
    if (verb == "lock") cmd = Command::Lock;
    else if (verb == "unlock") cmd = Command::Unlock;
    else if (verb == "verify") cmd = Command::Verify;
    else if (verb == "info") cmd = Command::Info;
    else if (verb == "open") cmd = Command::Open;
    else if (verb == "shred") cmd = Command::Shred;
    else {
        std::fprintf(stderr, "corvastine: unknown command '%s'\n\n%s", verb.c_str(), kUsage);
        return 2;
    }
    bool options = true;
    for (int i = 2; i < argc; ++i) {
        std::string a = ArgToNarrow(argv[i]);
        if (options && a == "--") {
            options = false;
        } else if (options && (a == "-h" || a == "--help")) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (options && a == "--password-file") {
            if (i + 1 >= argc) {
                std::fputs("corvastine: --password-file needs a file name\n", stderr);
                return 2;
            }
            args->passwordFile = ArgToNarrow(argv[++i]);
        } else if (options && a == "--replace" && cmd == Command::Unlock) {
            args->replace = true;
        } else if (options && a == "--yes" && (cmd == Command::Shred || cmd == Command::Open)) {
            args->yes = true;
        } else if (options && a == "--with" && cmd == Command::Open) {
            if (i + 1 >= argc) {
                std::fputs("corvastine: --with needs a program\n", stderr);
                return 2;
            }
            args->program = ArgToWide(argv[++i]);
        } else if (options && a.rfind("--password-file=", 0) == 0) {
            args->passwordFile = a.substr(16);
        } else if (options && a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "corvastine: unknown option '%s'\n", a.c_str());
            return 2;
        } else {
            args->paths.push_back(ArgToWide(argv[i]));
        }
    }
    if (args->paths.empty()) {
        std::fputs("corvastine: no PATH given\n", stderr);
        return 2;
    }
    if (cmd == Command::Open && args->paths.size() != 1) {
        std::fputs("corvastine: open takes one FILE\n", stderr);
        return 2;
    }
    return -1;
}

// The password for the command: read from --password-file, or asked on the
// terminal (twice for lock). False, after saying why, when there is none.
bool ObtainPassword(const Arguments& args, corva::SecretText* password) {
    if (!args.passwordFile.empty()) {
        if (!ReadPasswordFile(args.passwordFile, password)) {
            std::fprintf(stderr,
                         "corvastine: cannot read the password file %s, or its password has characters "
                         "outside the system code page\n",
                         args.passwordFile.c_str());
            return false;
        }
    } else {
        if (!ReadHidden("Password: ", password)) {
            std::fputs("corvastine: no terminal to ask the password on; use --password-file\n", stderr);
            return false;
        }
        if (args.cmd == Command::Lock) {
            corva::SecretText again;
            if (!ReadHidden("Password again: ", &again) || again.Text() != password->Text()) {
                std::fputs("corvastine: the passwords differ\n", stderr);
                return false;
            }
        }
    }
    if (password->Text().empty()) {
        std::fputs("corvastine: the password is empty\n", stderr);
        return false;
    }
    return true;
}

// A folder's files on one worker per core; the lines still come in the
// folder's order, each once its file is done. Returns the failures.
int RunFiles(Command cmd, const std::vector<std::wstring>& files, const char* password, bool replace,
             ProgressBar* bar) {
    std::vector<Outcome> outcomes(files.size());
    size_t finished = 0;
    int failures = 0;
    bar->Begin();
    const unsigned workers = corva::FileWorkerCount();
    // Locking: each worker makes headers and keys two at a time, once some
    // worker will lock more than one file.
    std::vector<std::unique_ptr<corva::LockKeySource>> keys(workers);
    if (cmd == Command::Lock && files.size() > workers)
        for (auto& k : keys) k.reset(new corva::LockKeySource(password));
    corva::RunFileJobsOnWorkers(
        files.size(), workers,
        [&](size_t i, unsigned worker) {
            outcomes[i] = Handle(cmd, files[i], password, replace, keys[worker].get());
            return outcomes[i].failed == 0;
        },
        [&](size_t i, bool) {
            ClearProgress(bar);
            std::fputs(outcomes[i].line.c_str(), stdout);
            failures += outcomes[i].failed;
            DrawCount(bar, cmd == Command::Lock ? "lock" : cmd == Command::Unlock ? "unlock" : "verify", ++finished,
                      files.size());
        },
        false);
    ClearProgress(bar);
    return failures;
}

// Locks, unlocks, verifies or describes one path given on the command line:
// a file, or the files of a folder tree (links and special files skipped,
// each with a line). Returns the failures.
int RunPath(Command cmd, const std::wstring& path, const char* password, bool replace, ProgressBar* bar) {
    if (plat::IsLink(path)) {
        std::printf("%s: skipped, a link is not followed\n", Show(path).c_str());
        return 1;
    }
    if (!plat::PathExists(path)) {
        std::printf("%s: no such file or folder\n", Show(path).c_str());
        return 1;
    }
    int failures = 0;
    std::vector<std::wstring> files, links, specials, unreadable;
    if (plat::IsDirectory(path)) {
        CollectFiles(path, cmd == Command::Lock || cmd == Command::Unlock, &files, &links, &specials, &unreadable);
        for (const auto& l : links) std::printf("%s: skipped, a link is not followed\n", Show(l).c_str());
        for (const auto& l : specials)
            std::printf("%s: skipped, not a regular file (FIFO, socket or device)\n", Show(l).c_str());
        for (const auto& u : unreadable) {
            std::printf("%s: folder cannot be read\n", Show(u).c_str());
            ++failures;
        }
        if (cmd != Command::Lock) {
            files.erase(std::remove_if(files.begin(), files.end(),
                                       [](const std::wstring& f) { return !HasLockedExtension(f); }),
                        files.end());
        }
    } else {
        files.push_back(path);
    }
    if (files.size() == 1 || cmd == Command::Info) {
        for (const auto& f : files) failures += RunOne(cmd, f, password, replace, bar);
        return failures;
    }
    return failures + RunFiles(cmd, files, password, replace, bar);
}

int Run(int argc, ArgChar** argv) {
    Arguments args;
    if (const int exitCode = ParseArguments(argc, argv, &args); exitCode >= 0) return exitCode;
    ProgressBar bar;
    bar.enabled = StdoutIsTerminal();
    if (args.cmd == Command::Shred) return RunShred(args.paths, args.yes, &bar);

    corva::SecretText password;
    if (args.cmd != Command::Info && !ObtainPassword(args, &password)) return 2;
    if (args.cmd == Command::Open) return RunOpen(args.paths[0], password.Text().c_str(), args.program, args.yes);

    corva::SetThreadProgress(&DrawProgress, &bar);
    int failures = 0;
    for (const auto& path : args.paths) failures += RunPath(args.cmd, path, password.Text().c_str(), args.replace, &bar);
    corva::SetThreadProgress(nullptr, nullptr);
    std::fflush(stdout);
    return failures ? 1 : 0;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return Run(argc, argv); }
#else
int main(int argc, char** argv) { return Run(argc, argv); }
#endif
