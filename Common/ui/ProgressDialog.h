// The modal dialog every lock, unlock and shred batch runs in (dialog 207):
// it starts the batch's worker, shows the batch's count line, the file under
// work (shortened in the middle when the path is long) and a progress bar
// from a 500 ms tick, and closes at the first tick that finds the batch's
// stop flag set and its worker done. Cancel (the button, Escape, the close
// box) sets the stop flag and returns at once: the dialog says it is
// stopping and closes when the worker has ended, which it does between two
// files or two chunks of a file. The tick comes from a window timer or,
// when the system has no timer to give, from a thread of the dialog's own;
// should that fail as well, Cancel waits for the worker and then closes the
// dialog. When Run returns, the batch's worker has ended. The caller owns
// the batch and destroys it after the dialog has returned.
#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "ModalDialog.h"

class BatchProgress;

class ProgressDialog final : public corva::ui::ModalDialog {
public:
    static constexpr UINT kTickMilliseconds = 500;
    // The count line once Cancel was chosen.
    static constexpr wchar_t kStoppingText[] = L"Stopping...";

    explicit ProgressDialog(BatchProgress& batch);

    // ShowModal runs the batch in the dialog, owned by owner (callers pass
    // the active window), and returns 1 once the batch has ended and its
    // worker is gone.

    // Test hook: the window timer cannot be created while set.
    static void SetTimerRefusedForTesting(bool refused);

protected:
    void OnClosed() override;
    bool OnInit() override;
    void OnOk() override {}  // Enter does not end a batch
    void OnCancel() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) override;
    void OnDestroy() override;

private:
    // Starts the window timer, or the ticking thread when there is none.
    void StartTicking();
    void StopTicking();
    bool Ticking() const { return timer_ != 0 || ticker_.joinable(); }
    void Tick();
    // Puts the file under work on its line, shortened to fit.
    void ShowFile(const std::wstring& path);

    BatchProgress& batch_;
    UINT_PTR timer_ = 0;
    std::thread ticker_;  // posts ticks while no window timer runs
    std::mutex tickerLock_;
    std::condition_variable tickerWake_;
    bool tickerStop_ = false;  // guarded by tickerLock_
    bool stopping_ = false;    // Cancel was chosen; the worker is ending
    std::wstring shownFile_;   // the path the file line shows
};
