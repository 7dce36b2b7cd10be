#include "OpenCommand.h"

#include <memory>

#include "Module.h"
#include "open/OpenMessages.h"
#include "open/WorkingCopies.h"
#include "platform/OpenSupport.h"
#include "platform/Platform.h"

namespace corva::shell {

namespace {

// What the watching thread owns. The password is wiped when it goes.
struct Watch {
    WorkingEntry entry;
    std::unique_ptr<plat::ChildProcess> process;
    corva::SecretText password;
    HMODULE library = nullptr;  // the load count the thread gives back last
    ModuleReference reference;
};

DWORD WINAPI WatchThread(LPVOID parameter) {
    HMODULE library = nullptr;
    {
        std::unique_ptr<Watch> watch(static_cast<Watch*>(parameter));
        library = watch->library;
        PollBackoff backoff;
        DoneWatch done;
        bool wasBusy = true;
        for (;;) {
            const bool running = watch->process && watch->process->Running();
            const plat::FileUse use = plat::ProbeFileUse(watch->entry.copyPath);
            if (done.Look(running, use)) break;
            const bool busy = running || use == plat::FileUse::InUse;
            if (busy != wasBusy) backoff.Reset();
            wasBusy = busy;
            plat::SleepMilliseconds(backoff.Next());
        }
        const FinishOutcome outcome = FinishEntry(watch->entry, watch->password.CStr(), std::wstring(), nullptr);
        if (!WentWell(outcome.status))
            ::MessageBoxW(nullptr, DescribeFinish(outcome).c_str(), kOpenCaption, MB_OK | MB_ICONWARNING);
    }
    // The library stays loaded until this thread no longer runs its code.
    ::FreeLibraryAndExitThread(library, 0);
    return 0;
}

}  // namespace

void RecoverWorkingCopies(const corva::SecretText& password, HWND owner) {
    const WorkingArea area(DefaultWorkingRoot());
    const std::vector<RecoveryItem> plan = PlanRecovery(area.Entries());
    if (plan.empty()) return;
    bool relock = false;
    if (PlanNeedsQuestion(plan))
        relock = ::MessageBoxW(owner, RecoveryQuestion(plan).c_str(), kOpenCaption, MB_YESNO | MB_ICONQUESTION) == IDYES;
    FinishProblems problems;
    for (const auto& item : plan) {
        // A copy still shown by a program is left for the command that opened it.
        if (item.action == RecoveryAction::KeepInUse) continue;
        const FinishOutcome done = CarryOut(item, password.CStr(), relock, std::wstring(), nullptr);
        problems.Add(done);
    }
    if (!problems.Empty()) ::MessageBoxW(owner, problems.Text().c_str(), kOpenCaption, MB_OK | MB_ICONWARNING);
}

void OpenForEditing(const std::wstring& target, const corva::SecretText& password, HWND owner) {
    const OpenOutcome opened = UnlockForEditing(WorkingArea(DefaultWorkingRoot()), target, password.CStr(), nullptr);
    if (opened.status != OpenStatus::Opened) {
        ::MessageBoxW(owner, DescribeOpenFailure(opened, target).c_str(), kOpenCaption, MB_OK | MB_ICONINFORMATION);
        return;
    }
    auto watch = std::make_unique<Watch>();
    watch->entry = opened.entry;
    watch->password = corva::SecretText(password.Text());
    watch->process = std::make_unique<plat::ChildProcess>();
    HMODULE library = nullptr;
    const bool held = ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                           reinterpret_cast<LPCWSTR>(&WatchThread), &library) != 0;
    watch->library = library;
    HANDLE thread = nullptr;
    if (held && watch->process->Open(opened.entry.copyPath, std::wstring()))
        thread = ::CreateThread(nullptr, 0, &WatchThread, watch.get(), 0, nullptr);
    if (thread) {
        watch.release();  // the thread owns it now
        ::CloseHandle(thread);
        return;
    }
    if (held) ::FreeLibrary(library);
    // Not shown, or nobody to watch it: the copy goes again at once.
    const FinishOutcome done = FinishEntry(opened.entry, password.CStr(), std::wstring(), nullptr);
    ::MessageBoxW(owner, DescribeNotStarted(opened.entry, done).c_str(), kOpenCaption, MB_OK | MB_ICONINFORMATION);
}

}  // namespace corva::shell
