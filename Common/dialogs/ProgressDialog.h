// The modal dialog every lock, unlock and shred batch runs in (dialog 207):
// it starts the batch's worker, shows the batch's status line and a
// progress bar from a 500 ms timer, and closes at the first tick that finds
// the batch's stop flag set. Cancel stops the batch after the path in work.
// The caller owns the batch and destroys it after the dialog has returned.
#pragma once

#include <windows.h>

#include "ModalDialog.h"

class BatchProgress;

class ProgressDialog final : protected corva::ui::ModalDialog {
public:
    static constexpr UINT kTickMilliseconds = 500;

    explicit ProgressDialog(BatchProgress& batch);

    // Runs the batch in the dialog, owned by owner (callers pass the active
    // window). Returns 1 once the batch has ended and its worker is gone.
    INT_PTR Run(HWND owner);

protected:
    bool OnInit() override;
    bool OnCommand(int id, int code, HWND control) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) override;
    void OnDestroy() override;

private:
    void Tick();

    BatchProgress& batch_;
    UINT_PTR timer_ = 0;
};
