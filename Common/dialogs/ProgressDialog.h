// The modal dialog every lock, unlock and shred batch runs in (dialog 207):
// it starts the batch's worker, shows the batch's status line and a
// progress bar from a 500 ms tick, and closes at the first tick that finds
// the batch's stop flag set. Cancel stops the batch after the path in work.
// The tick comes from a window timer or, when the system has no timer to
// give, from a thread of the dialog's own; should that fail as well, Cancel
// still closes the dialog once the batch has stopped. When Run returns, the
// batch's worker has ended. The caller owns the batch and destroys it after
// the dialog has returned.
#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "ModalDialog.h"

class BatchProgress;

class ProgressDialog final : protected corva::ui::ModalDialog {
public:
    static constexpr UINT kTickMilliseconds = 500;

    explicit ProgressDialog(BatchProgress& batch);

    // Runs the batch in the dialog, owned by owner (callers pass the active
    // window). Returns 1 once the batch has ended and its worker is gone.
    INT_PTR Run(HWND owner);

    // Test hook: the window timer cannot be created while set.
    static void SetTimerRefusedForTesting(bool refused);

protected:
    bool OnInit() override;
    bool OnCommand(int id, int code, HWND control) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) override;
    void OnDestroy() override;

private:
    // Starts the window timer, or the ticking thread when there is none.
    void StartTicking();
    void StopTicking();
    bool Ticking() const { return timer_ != 0 || ticker_.joinable(); }
    void Tick();

    BatchProgress& batch_;
    UINT_PTR timer_ = 0;
    std::thread ticker_;  // posts ticks while no window timer runs
    std::mutex tickerLock_;
    std::condition_variable tickerWake_;
    bool tickerStop_ = false;  // guarded by tickerLock_
};
