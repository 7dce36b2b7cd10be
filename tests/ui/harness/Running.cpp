// Dialog threads and child processes.
#include <cstdio>
#include <optional>

#include "UiHarness.h"

namespace uitest {

UiThread::UiThread(std::function<INT_PTR()> body) : body_(std::move(body)) {
    thread_ = ::CreateThread(nullptr, 0, &UiThread::Main, this, 0, &threadId_);
}

DWORD WINAPI UiThread::Main(LPVOID self) {
    auto* me = static_cast<UiThread*>(self);
    me->result_ = me->body_();
    me->done_.store(true);
    return 0;
}

bool UiThread::Done() const { return done_.load(); }

bool UiThread::WaitDone(Millis timeout) {
    if (!thread_) return false;
    return ::WaitForSingleObject(thread_, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0;
}

UiThread::~UiThread() {
    if (!thread_) return;
    // Whatever the test left open is dismissed: message boxes with OK,
    // dialogs and wizards with Cancel, until the body returns.
    for (int round = 0; round < 100 && !WaitDone(Millis(0)); ++round) {
        WindowQuery all;
        all.scope = GetScope();
        for (HWND w : FindWindows(all)) {
            if (!::IsWindowEnabled(w)) continue;
            if (auto box = FindMessageBox(GetScope()); box && box->window == w) {
                ::PostMessageW(w, WM_COMMAND, IDOK, 0);
            } else {
                ::PostMessageW(w, WM_COMMAND, IDCANCEL, 0);
            }
        }
        WaitDone(Millis(100));
    }
    if (!WaitDone(kDefaultTimeout)) {
        std::fprintf(stderr, "ui harness: a dialog thread does not end; giving up on the test program\n");
        std::fflush(stderr);
        ::TerminateProcess(::GetCurrentProcess(), 3);
    }
    ::CloseHandle(thread_);
}

ChildProcess::~ChildProcess() {
    if (!process_) return;
    if (::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(process_, 1);
        // Until it has ended its program file is still in use.
        ::WaitForSingleObject(process_, static_cast<DWORD>(kDefaultTimeout.count()));
    }
    ::CloseHandle(process_);
}

bool ChildProcess::Start(const std::wstring& program, const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    // Wine now and then fails to start a process with an internal error
    // (seen once in some thirty runs); that one is tried again.
    BOOL started = FALSE;
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        if (attempt > 0) ::Sleep(500);
        started = ::CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   &si, &pi);
        if (!started && ::GetLastError() != ERROR_INTERNAL_ERROR) break;
    }
    if (!started) {
        std::fprintf(stderr, "ui harness: cannot start %ls (error %lu)\n", program.c_str(),
                     static_cast<unsigned long>(::GetLastError()));
        std::fflush(stderr);
        return false;
    }
    ::CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    processId_ = pi.dwProcessId;
    return true;
}

std::optional<DWORD> ChildProcess::WaitExit(Millis timeout) {
    if (!process_) return std::nullopt;
    if (::WaitForSingleObject(process_, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    ::GetExitCodeProcess(process_, &code);
    return code;
}

void EndProgramOfWindow(HWND window) {
    DWORD id = 0;
    if (!window || !::IsWindow(window) || !::GetWindowThreadProcessId(window, &id)) return;
    if (id == ::GetCurrentProcessId()) return;
    if (HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id)) {
        ::TerminateProcess(process, 1);
        ::WaitForSingleObject(process, static_cast<DWORD>(kDefaultTimeout.count()));
        ::CloseHandle(process);
    }
}

}  // namespace uitest
