#include "ProgressDialog.h"

#include <commctrl.h>

#include <string>

#include "DialogIds.h"
#include "DialogSupport.h"
#include "engine/Batch.h"

namespace {
constexpr UINT_PTR kTimerId = 1;
}

ProgressDialog::ProgressDialog(BatchProgress& batch) : ModalDialog(IDD_PROGRESS), batch_(batch) {}

INT_PTR ProgressDialog::Run(HWND owner) { return RunModal(owner); }

bool ProgressDialog::OnInit() {
    batch_.SetPercentDone(0);
    corva::ui::SetDialogIcons(Handle());
    corva::ui::CenterOnWindow(Handle(), ::GetWindow(Handle(), GW_OWNER));
    ::SendDlgItemMessageW(Handle(), IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, 100);
    timer_ = ::SetTimer(Handle(), kTimerId, kTickMilliseconds, nullptr);
    // A batch that cannot start leaves its stop flag clear: the dialog then
    // stays until the user cancels it.
    batch_.Start(0);
    return true;
}

bool ProgressDialog::OnCommand(int id, int, HWND) {
    if (id != IDCANCEL) return false;
    // Cancel, Escape and the close box: the batch finishes the path in work
    // and stops; the next tick sees the flag and closes the dialog.
    batch_.Stop();
    return true;
}

bool ProgressDialog::OnMessage(UINT message, WPARAM wParam, LPARAM, INT_PTR* result) {
    if (message != WM_TIMER || wParam != kTimerId) return false;
    Tick();
    *result = TRUE;
    return true;
}

void ProgressDialog::Tick() {
    bool stopped = false;
    std::wstring status;
    batch_.GetProgress(&stopped, &status);
    if (stopped) {
        if (timer_) ::KillTimer(Handle(), timer_);
        timer_ = 0;
        Close(1);
        batch_.Stop();  // waits for the worker to end
        return;
    }
    ::SetDlgItemTextW(Handle(), IDC_PROGRESS_STATUS, status.c_str());
    ::SendDlgItemMessageW(Handle(), IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(batch_.PercentDone() % 100), 0);
    batch_.AddPercentDone(1);
}

void ProgressDialog::OnDestroy() {
    if (timer_) ::KillTimer(Handle(), timer_);
    timer_ = 0;
}
