// Runs the batches that the desktop program, the shell extension and the
// vault start from their progress dialogs, without a window, so that the
// crash campaign can kill a process in the middle of one:
//   batch_runner lock|unlock|verify --password-file FILE PATH...
// lock and unlock run one LockBatch / UnlockBatch over the paths and wait for
// it to end; verify prints "PATH: ok" or "PATH: bad" for each locked file.
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "engine/Batch.h"
#include "engine/LockedFile.h"
#include "platform/Platform.h"

namespace {

bool ReadPassword(const std::wstring& file, std::string* password) {
    plat::File f;
    if (!f.Open(file, plat::File::Mode::Read)) return false;
    char buf[256];
    size_t got = 0;
    if (!f.ReadFull(buf, sizeof buf, &got)) return false;
    password->assign(buf, got);
    const size_t end = password->find_first_of("\r\n");
    if (end != std::string::npos) password->resize(end);
    plat::SecureZero(buf, sizeof buf);
    return !password->empty();
}

int Run(const std::vector<std::wstring>& args) {
    if (args.size() < 4 || args[1] != L"--password-file") {
        std::fputs("usage: batch_runner lock|unlock|verify --password-file FILE PATH...\n", stderr);
        return 2;
    }
    std::string password;
    if (!ReadPassword(args[2], &password)) return 2;
    const std::vector<std::wstring> paths(args.begin() + 3, args.end());
    if (args[0] == L"verify") {
        int bad = 0;
        for (const auto& p : paths) {
            const bool ok = corva::VerifyLockedFile(password.c_str(), p, nullptr) == corva::kOk;
            std::printf("%s: %s\n", plat::WideToNarrow(p).c_str(), ok ? "ok" : "bad");
            if (!ok) ++bad;
        }
        return bad ? 1 : 0;
    }
    BatchProgress* batch = nullptr;
    if (args[0] == L"lock") batch = new LockBatch(paths, password, nullptr);
    else if (args[0] == L"unlock") batch = new UnlockBatch(paths, password, nullptr);
    else return 2;
    plat::SecureZero(&password[0], password.size());
    if (!batch->Start(0)) return 1;
    // As the progress dialog does: watch the stop flag, then wait for the worker.
    while (!batch->IsStopFlagSet()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    batch->Stop();
    delete batch;
    return 0;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> args(argv + 1, argv + argc);
    return Run(args);
}
#else
int main(int argc, char** argv) {
    std::vector<std::wstring> args;
    for (int i = 1; i < argc; ++i) args.push_back(plat::NarrowToWide(argv[i]));
    return Run(args);
}
#endif
