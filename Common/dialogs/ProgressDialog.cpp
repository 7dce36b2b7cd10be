#include "ProgressDialog.h"

#include <commctrl.h>

#include <chrono>
#include <string>

#include "DialogIds.h"
#include "DialogSupport.h"
#include "engine/Batch.h"

namespace {
constexpr UINT_PTR kTimerId = 1;
// A tick posted by the ticking thread.
constexpr UINT kTickMessage = WM_APP + 1;
std::atomic<bool> g_timerRefused{false};
}  // namespace

void ProgressDialog::SetTimerRefusedForTesting(bool refused) { g_timerRefused.store(refused); }

ProgressDialog::ProgressDialog(BatchProgress& batch) : ModalDialog(IDD_PROGRESS), batch_(batch) {}

INT_PTR ProgressDialog::Run(HWND owner) {
    INT_PTR result = RunModal(owner);
    // However the dialog ended (also when it could not be shown at all), no
    // worker outlives it.
    batch_.Stop();
    return result;
}

bool ProgressDialog::OnInit() {
    batch_.SetPercentDone(0);
    corva::ui::SetDialogIcons(Handle());
    corva::ui::CenterOnWindow(Handle(), ::GetWindow(Handle(), GW_OWNER));
    ::SendDlgItemMessageW(Handle(), IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, 100);
    StartTicking();
    // A batch that cannot start leaves its stop flag clear: the dialog then
    // stays until the user cancels it.
    batch_.Start(0);
    return true;
}

void ProgressDialog::StartTicking() {
    timer_ = g_timerRefused.load() ? 0 : ::SetTimer(Handle(), kTimerId, kTickMilliseconds, nullptr);
    if (timer_) return;
    HWND window = Handle();
    try {
        tickerStop_ = false;
        ticker_ = std::thread([this, window] {
            std::unique_lock<std::mutex> hold(tickerLock_);
            while (!tickerWake_.wait_for(hold, std::chrono::milliseconds(kTickMilliseconds),
                                         [this] { return tickerStop_; })) {
                ::PostMessageW(window, kTickMessage, 0, 0);
            }
        });
    } catch (...) {
        // No thread either: Cancel closes the dialog (OnCommand).
    }
}

void ProgressDialog::StopTicking() {
    if (timer_) ::KillTimer(Handle(), timer_);
    timer_ = 0;
    if (ticker_.joinable()) {
        {
            std::lock_guard<std::mutex> hold(tickerLock_);
            tickerStop_ = true;
        }
        tickerWake_.notify_all();
        ticker_.join();
    }
}

bool ProgressDialog::OnCommand(int id, int, HWND) {
    if (id != IDCANCEL) return false;
    // Cancel, Escape and the close box: the batch finishes the path in work
    // and stops; the next tick sees the flag and closes the dialog.
    batch_.Stop();
    if (!Ticking()) Tick();
    return true;
}

bool ProgressDialog::OnMessage(UINT message, WPARAM wParam, LPARAM, INT_PTR* result) {
    const bool tick = (message == WM_TIMER && wParam == kTimerId) || message == kTickMessage;
    if (!tick) return false;
    Tick();
    *result = TRUE;
    return true;
}

void ProgressDialog::Tick() {
    bool stopped = false;
    std::wstring status;
    batch_.GetProgress(&stopped, &status);
    if (stopped) {
        StopTicking();
        Close(1);
        batch_.Stop();  // waits for the worker to end
        return;
    }
    ::SetDlgItemTextW(Handle(), IDC_PROGRESS_STATUS, status.c_str());
    ::SendDlgItemMessageW(Handle(), IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(batch_.PercentDone() % 100), 0);
    batch_.AddPercentDone(1);
}

void ProgressDialog::OnDestroy() { StopTicking(); }
