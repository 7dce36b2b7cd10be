#include "FrameThreadManager.h"

#include <memory>
#include <new>

namespace corva::desktop {

namespace {

constexpr wchar_t kManagerCaption[] = L"WTLExplorer";

struct ThreadArgs {
    FrameThreadBody body;
    FrameThreadStart* start;
};

DWORD WINAPI ThreadEntry(LPVOID parameter) {
    std::unique_ptr<ThreadArgs> args(static_cast<ThreadArgs*>(parameter));
    try {
        return args->body(args->start);
    } catch (...) {
        return 0;
    }
}

}  // namespace

FrameThreadManager::FrameThreadManager(FrameThreadBody body) : body_(body) {}

FrameThreadManager::~FrameThreadManager() {
    for (DWORD i = 0; i < count_; ++i) ::CloseHandle(threads_[i]);
}

DWORD FrameThreadManager::AddThread(const std::wstring& commandLine, int showCommand) {
    if (count_ == kMaxThreads) {
        ::MessageBoxW(nullptr, L"ERROR: Cannot create ANY MORE threads!!!", kManagerCaption, MB_OK);
        return 0;
    }
    auto* start = new (std::nothrow) FrameThreadStart;
    auto* args = new (std::nothrow) ThreadArgs{body_, start};
    DWORD id = 0;
    HANDLE thread = nullptr;
    if (start && args) {
        try {
            start->commandLine = commandLine;
        } catch (...) {
        }
        start->showCommand = showCommand;
        thread = ::CreateThread(nullptr, 0, &ThreadEntry, args, 0, &id);
    }
    if (!thread) {
        delete start;
        delete args;
        ::MessageBoxW(nullptr, L"ERROR: Cannot create thread!!!", kManagerCaption, MB_OK);
        return 0;
    }
    threads_[count_++] = thread;
    return id;
}

void FrameThreadManager::RemoveThread(DWORD index) {
    ::CloseHandle(threads_[index]);
    if (index != count_ - 1) threads_[index] = threads_[count_ - 1];
    threads_[--count_] = nullptr;
}

int FrameThreadManager::Run(const std::wstring& commandLine, int showCommand) {
    MSG msg{};
    // Makes sure this thread has a message queue before anyone posts to it.
    ::PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);

    AddThread(commandLine, showCommand);
    const int result = static_cast<int>(count_);

    while (count_ > 0) {
        const DWORD wait = ::MsgWaitForMultipleObjects(count_, threads_, FALSE, INFINITE, QS_ALLINPUT);
        if (wait == WAIT_FAILED) {
            ::MessageBoxW(nullptr, L"ERROR: Wait for multiple objects failed!!!", kManagerCaption, MB_OK);
        } else if (wait < WAIT_OBJECT_0 + count_) {
            RemoveThread(wait - WAIT_OBJECT_0);
        } else if (wait == WAIT_OBJECT_0 + count_) {
            // Every waiting message is taken: the wait reports only input
            // that arrived since the queue was last looked at, so a message
            // left behind would wait for the next one.
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_USER) AddThread(L"", SW_SHOWNORMAL);
                else ::MessageBeep(static_cast<UINT>(-1));
            }
        } else {
            ::MessageBeep(static_cast<UINT>(-1));
        }
    }
    return result;
}

}  // namespace corva::desktop
