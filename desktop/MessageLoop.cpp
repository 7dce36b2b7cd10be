#include "MessageLoop.h"

namespace corva::desktop {

namespace {
thread_local MessageLoop* t_current = nullptr;
}

MessageLoop::MessageLoop() : previous_(t_current) { t_current = this; }

MessageLoop::~MessageLoop() { t_current = previous_; }

MessageLoop* MessageLoop::Current() { return t_current; }

void MessageLoop::ClearHandlers() {
    filter_ = nullptr;
    idle_.clear();
}

bool MessageLoop::CountsAsInput(const MSG& msg) {
    // Repaints, caret blinks and pointer moves that change nothing do not
    // wake the idle handlers again.
    switch (msg.message) {
    case WM_PAINT:
    case 0x0118:  // WM_SYSTIMER (caret blink)
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
        return false;
    default:
        return true;
    }
}

void MessageLoop::RunIdleHandlers() {
    // A handler may add another; walk by index.
    for (size_t i = 0; i < idle_.size(); ++i) {
        IdleHandler handler = idle_[i];
        try {
            if (handler) handler();
        } catch (...) {
        }
    }
}

int MessageLoop::Run() {
    bool idleDue = true;
    MSG msg{};
    for (;;) {
        while (idleDue && !::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            RunIdleHandlers();
            idleDue = false;
        }
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1) continue;
        if (!got) break;
        bool used = false;
        if (filter_) {
            try {
                used = filter_(msg);
            } catch (...) {
                used = false;
            }
        }
        if (!used) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (CountsAsInput(msg)) idleDue = true;
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace corva::desktop
