#include "ProgressDialog.h"

#include <commctrl.h>

#include <chrono>
#include <string>
#include <vector>

#include "UiIds.h"
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

void ProgressDialog::OnClosed() {
    // However the dialog ended (also when it could not be shown at all), no
    // worker outlives it.
    batch_.Stop();
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
        // No thread either: Cancel closes the dialog (OnCancel).
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

void ProgressDialog::OnCancel() {
    if (!Ticking()) {
        // Nothing would look again: wait here for the worker, then close.
        batch_.Stop();
        Tick();
        return;
    }
    // Cancel, Escape and the close box: the worker stops before its next
    // file or chunk; the window goes on answering and closes at the first
    // tick after the worker has ended.
    batch_.RequestStop();
    if (!stopping_) {
        stopping_ = true;
        ::SetDlgItemTextW(Handle(), IDC_PROGRESS_STATUS, kStoppingText);
        ::EnableWindow(::GetDlgItem(Handle(), IDCANCEL), FALSE);
    }
    if (batch_.HasEnded()) Tick();
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
    std::wstring status, file;
    batch_.GetProgress(&stopped, &status, &file);
    if (stopped && batch_.HasEnded()) {
        StopTicking();
        Close(1);
        batch_.Stop();  // the worker is at its end: this only joins it
        return;
    }
    if (!stopping_) ::SetDlgItemTextW(Handle(), IDC_PROGRESS_STATUS, status.c_str());
    ShowFile(file);
    ::SendDlgItemMessageW(Handle(), IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(batch_.PercentDone() % 100), 0);
    batch_.AddPercentDone(1);
}

void ProgressDialog::ShowFile(const std::wstring& path) {
    if (path == shownFile_) return;
    shownFile_ = path;
    HWND line = ::GetDlgItem(Handle(), IDC_PROGRESS_FILE);
    RECT room{};
    ::GetClientRect(line, &room);
    // A few pixels to spare: some systems (Wine) draw the text a little
    // wider than they measure it, and the last letter would be cut.
    const int width = room.right - room.left - corva::ui::ScaleForDpi(line, 8);
    ::SetWindowTextW(line, corva::ui::FitPathToWidth(line, path, width).c_str());
}

void ProgressDialog::OnDestroy() { StopTicking(); }
