// The window thread of the desktop program: refuses a second copy, asks for
// the password, creates and places the main window and runs its loop.
#include <windows.h>

#include <memory>

#include "Drawing.h"
#include "FrameRules.h"
#include "FrameThreadManager.h"
#include "MainFrame.h"
#include "MessageLoop.h"
#include "StartupPassword.h"

namespace corva::desktop {

namespace {

constexpr wchar_t kMutexName[] = L"Corvastine Mutex";

// True when this thread now holds the single-instance lock. The handle is
// never closed: the lock lasts until the process ends.
bool TakeSingleInstanceLock() {
    HANDLE mutex = ::CreateMutexW(nullptr, TRUE, kMutexName);
    return mutex && ::GetLastError() != ERROR_ALREADY_EXISTS;
}

}  // namespace

DWORD RunFrameThread(FrameThreadStart* startRecord) {
    std::unique_ptr<FrameThreadStart> start(startRecord);
    if (!TakeSingleInstanceLock()) {
        ::MessageBoxW(nullptr, L"Another instance of Corvastine is running now, please close it first.",
                      L"Corvastine", MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    if (!StartupPasswordGate()) return 0;

    // The folder tree and the file list use the shell's objects on this
    // thread.
    const HRESULT com = ::OleInitialize(nullptr);
    struct ComScope {
        bool initialized;
        ~ComScope() {
            if (initialized) ::OleUninitialize();
        }
    } comScope{SUCCEEDED(com)};

    MessageLoop loop;
    auto frame = std::make_unique<MainFrame>();
    if (!frame->CreateFrame()) return 0;

    const Rect place = InitialWindowRect(::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN),
                                         WindowDpi(frame->Handle()));
    ::ShowWindow(frame->Handle(), start->showCommand);
    ::SetForegroundWindow(frame->Handle());
    ::SetWindowPos(frame->Handle(), nullptr, place.left, place.top, place.Width(), place.Height(), SWP_NOZORDER);
    start.reset();  // the command line is not interpreted

    const int result = loop.Run();
    frame.reset();
    return static_cast<DWORD>(result);
}

}  // namespace corva::desktop
