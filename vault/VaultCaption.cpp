#include "VaultCaption.h"

#include <windowsx.h>

#include <string>

#include "ui/DialogSupport.h"
#include "platform/WinHandles.h"
#include "resource.h"

namespace corva::vault {

namespace {

constexpr int kTitleChars = 10;

// A shared icon of the program at its own size (owned by the system's cache).
HICON LoadIconAt(int id, int size) {
    return static_cast<HICON>(::LoadImageW(corva::ui::ResourceModule(), MAKEINTRESOURCEW(id), IMAGE_ICON, size,
                                           size, LR_SHARED));
}

void FillFrame(HDC dc, RECT rect, int width, COLORREF colour) {
    corva::win::UniqueBrush brush(::CreateSolidBrush(colour));
    if (!brush) return;
    for (int i = 0; i < width; ++i) {
        ::FrameRect(dc, &rect, brush.Get());
        ::InflateRect(&rect, -1, -1);
    }
}

int StateIndex(CaptionPart part, CaptionPart hovered, CaptionPart pressed) {
    if (pressed == part) return hovered == part ? 2 : 1;
    return hovered == part ? 1 : 0;
}

}  // namespace

void VaultCaption::Attach(HWND window) {
    window_ = window;
    caption_ = LoadIconAt(IDI_VAULT_CAPTION, 16);
    minimise_[0] = LoadIconAt(IDI_VAULT_MIN, 32);
    minimise_[1] = LoadIconAt(IDI_VAULT_MIN_HOVER, 32);
    minimise_[2] = LoadIconAt(IDI_VAULT_MIN_PRESSED, 32);
    close_[0] = LoadIconAt(IDI_VAULT_CLOSE, 48);
    close_[1] = LoadIconAt(IDI_VAULT_CLOSE_HOVER, 48);
    close_[2] = LoadIconAt(IDI_VAULT_CLOSE_PRESSED, 48);
    LOGFONTW lf{};
    lf.lfHeight = -::MulDiv(8, corva::ui::ScaleForDpi(window, 96), 72);
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = DEFAULT_QUALITY;
    wcscpy_s(lf.lfFaceName, L"Microsoft Sans Serif");
    font_.Reset(::CreateFontIndirectW(&lf));
}

CaptionPart VaultCaption::HitTest(POINT screen) const {
    RECT r{};
    if (!::GetWindowRect(window_, &r)) return CaptionPart::Elsewhere;
    return CaptionHitTest(screen.x, screen.y, ScreenRect{r.left, r.top, r.right, r.bottom},
                          ::GetSystemMetrics(SM_CXDLGFRAME));
}

void VaultCaption::Paint() {
    if (!window_) return;
    HDC dc = ::GetWindowDC(window_);
    if (!dc) return;
    RECT window{};
    ::GetWindowRect(window_, &window);
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    const int frameX = ::GetSystemMetrics(SM_CXDLGFRAME);
    const int frameY = ::GetSystemMetrics(SM_CYDLGFRAME);
    const int captionHeight = ::GetSystemMetrics(SM_CYCAPTION);

    // The band between the outline and the client rectangle.
    const int saved = ::SaveDC(dc);
    ::ExcludeClipRect(dc, frameX, frameY + captionHeight, width - frameX, height - frameY);
    corva::win::UniqueBrush band(::CreateSolidBrush(active_ ? kActiveBand : kInactiveBand));
    RECT all{0, 0, width, height};
    if (band) ::FillRect(dc, &all, band.Get());
    FillFrame(dc, all, 2, kOuterFrame);
    FillFrame(dc, all, 1, RGB(0, 0, 0));

    const int t = (captionHeight + frameY - 16) / 2;
    if (caption_) ::DrawIconEx(dc, 6, t, caption_, 16, 16, 0, nullptr, DI_NORMAL);
    wchar_t title[64] = {};
    ::GetWindowTextW(window_, title, 64);
    std::wstring text(title);
    if (text.size() > static_cast<size_t>(kTitleChars)) text.resize(kTitleChars);
    {
        corva::win::SelectedObject font(dc, font_.Get());
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, RGB(255, 255, 255));
        ::TextOutW(dc, 25, t + 2, text.c_str(), static_cast<int>(text.size()));
    }

    HICON minimise = minimise_[StateIndex(CaptionPart::Minimise, hovered_, pressed_)];
    HICON close = close_[StateIndex(CaptionPart::Close, hovered_, pressed_)];
    if (minimise) ::DrawIconEx(dc, width - kMinimiseButtonOffset, 1, minimise, 32, 32, 0, nullptr, DI_NORMAL);
    if (close) ::DrawIconEx(dc, width - kCloseButtonOffset, 1, close, 48, 48, 0, nullptr, DI_NORMAL);
    ::RestoreDC(dc, saved);
    ::ReleaseDC(window_, dc);
}

void VaultCaption::SetHover(CaptionPart part) {
    if (part != CaptionPart::Minimise && part != CaptionPart::Close) part = CaptionPart::Elsewhere;
    if (part == hovered_) return;
    hovered_ = part;
    Paint();
}

void VaultCaption::Perform(CaptionPart part) {
    if (part == CaptionPart::Minimise) ::ShowWindow(window_, SW_MINIMIZE);
    if (part == CaptionPart::Close) ::PostMessageW(window_, WM_CLOSE, 0, 0);
}

bool VaultCaption::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (!window_) return false;
    const POINT screen{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    switch (message) {
    case WM_NCPAINT:
        Paint();
        *result = 0;
        return true;
    case WM_NCACTIVATE:
        active_ = wParam != FALSE;
        Paint();
        *result = TRUE;  // let the activation change go ahead
        return true;
    case WM_NCHITTEST:
        switch (HitTest(screen)) {
        case CaptionPart::Minimise: *result = HTMINBUTTON; return true;
        case CaptionPart::Close: *result = HTCLOSE; return true;
        case CaptionPart::Caption: *result = HTCAPTION; return true;
        case CaptionPart::Elsewhere: return false;
        }
        return false;
    case WM_NCMOUSEMOVE:
        SetHover(HitTest(screen));
        if (!tracking_) {
            TRACKMOUSEEVENT track{};
            track.cbSize = sizeof track;
            track.dwFlags = TME_LEAVE | TME_NONCLIENT;
            track.hwndTrack = window_;
            tracking_ = ::TrackMouseEvent(&track) != FALSE;
        }
        *result = 0;
        return true;
    case WM_NCMOUSELEAVE:
        tracking_ = false;
        SetHover(CaptionPart::Elsewhere);
        *result = 0;
        return true;
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK:
        if (wParam != HTMINBUTTON && wParam != HTCLOSE) return false;
        pressed_ = wParam == HTMINBUTTON ? CaptionPart::Minimise : CaptionPart::Close;
        hovered_ = pressed_;
        ::SetCapture(window_);
        Paint();
        *result = 0;
        return true;
    case WM_MOUSEMOVE:
        if (pressed_ == CaptionPart::Elsewhere || ::GetCapture() != window_) return false;
        {
            POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            ::ClientToScreen(window_, &at);
            SetHover(HitTest(at));
        }
        *result = 0;
        return true;
    case WM_LBUTTONUP:
        if (pressed_ == CaptionPart::Elsewhere) return false;
        {
            POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            ::ClientToScreen(window_, &at);
            const CaptionPart released = HitTest(at);
            const CaptionPart pressed = pressed_;
            pressed_ = CaptionPart::Elsewhere;
            if (::GetCapture() == window_) ::ReleaseCapture();
            SetHover(released);
            Paint();
            if (released == pressed) Perform(pressed);
        }
        *result = 0;
        return true;
    case WM_CAPTURECHANGED:
        if (pressed_ == CaptionPart::Elsewhere) return false;
        pressed_ = CaptionPart::Elsewhere;
        Paint();
        *result = 0;
        return true;
    case WM_SETTEXT:
    case WM_SETICON:
        // The standard handling draws the standard caption: let it run, then
        // draw over it.
        *result = ::DefWindowProcW(window_, message, wParam, lParam);
        Paint();
        return true;
    default:
        return false;
    }
}

}  // namespace corva::vault
