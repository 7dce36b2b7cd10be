// A window thread's message loop: the registered window's pre-translation
// (its accelerators) sees each message first, idle handlers run whenever the
// queue has run dry after real input, and the loop ends on WM_QUIT with its
// code. One loop per thread, reachable through Current() while it exists.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

namespace corva::desktop {

class MessageLoop {
public:
    using Filter = std::function<bool(MSG&)>;  // true: the message was used
    using IdleHandler = std::function<void()>;

    MessageLoop();
    ~MessageLoop();
    MessageLoop(const MessageLoop&) = delete;
    MessageLoop& operator=(const MessageLoop&) = delete;

    // The loop of the calling thread, or null.
    static MessageLoop* Current();

    void SetFilter(Filter filter) { filter_ = std::move(filter); }
    void AddIdleHandler(IdleHandler handler) { idle_.push_back(std::move(handler)); }
    void ClearHandlers();

    // Runs until WM_QUIT; returns its exit code.
    int Run();

private:
    static bool CountsAsInput(const MSG& msg);
    void RunIdleHandlers();

    Filter filter_;
    std::vector<IdleHandler> idle_;
    MessageLoop* previous_;
};

}  // namespace corva::desktop
