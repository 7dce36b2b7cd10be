// The main thread's part: it owns no window, starts window threads (one
// main window each) and waits for them and for its own message queue, where
// WM_USER asks for another window thread. Run returns when the last window
// thread has ended. Failures are reported in message boxes captioned
// "WTLExplorer"; nothing is thrown.
#pragma once

#include <windows.h>

#include <string>

namespace corva::desktop {

// What a window thread starts with; allocated by AddThread, freed by the
// thread once its window is shown (or when it ends earlier).
struct FrameThreadStart {
    std::wstring commandLine;
    int showCommand = SW_SHOWNORMAL;
};

// The body of a window thread (RunFrameThread); it takes ownership of the
// start record.
using FrameThreadBody = DWORD (*)(FrameThreadStart* start);

class FrameThreadManager {
public:
    // One less than the 64 objects a wait can watch: the wait also watches
    // the thread's message queue.
    static constexpr DWORD kMaxThreads = MAXIMUM_WAIT_OBJECTS - 1;

    explicit FrameThreadManager(FrameThreadBody body);
    ~FrameThreadManager();
    FrameThreadManager(const FrameThreadManager&) = delete;
    FrameThreadManager& operator=(const FrameThreadManager&) = delete;

    // Starts the first window thread and waits until every window thread has
    // ended. Returns 1 when the first thread started, else 0.
    int Run(const std::wstring& commandLine, int showCommand);

    // Starts one more window thread; its id, or 0 when none was started.
    DWORD AddThread(const std::wstring& commandLine, int showCommand);

    DWORD Count() const { return count_; }

private:
    void RemoveThread(DWORD index);

    FrameThreadBody body_;
    HANDLE threads_[kMaxThreads] = {};
    DWORD count_ = 0;
};

// The window thread: single-instance check, password gate, main window,
// message loop. Returns the loop's result, or 0 when no window was made.
DWORD RunFrameThread(FrameThreadStart* start);

}  // namespace corva::desktop
