#include "FrameCaption.h"

#include <windowsx.h>

#include "Drawing.h"
#include "resource.h"

namespace corva::desktop {

namespace {

int IndexOf(CaptionButton button) {
    switch (button) {
    case CaptionButton::Minimise: return 0;
    case CaptionButton::Maximise: return 1;
    case CaptionButton::Close: return 2;
    default: return -1;
    }
}

HICON LoadSizedIcon(int id, int size) {
    return static_cast<HICON>(
        ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
}

LRESULT HitCode(CaptionHit hit) {
    switch (hit) {
    case CaptionHit::Minimise: return HTMINBUTTON;
    case CaptionHit::Maximise: return HTMAXBUTTON;
    case CaptionHit::Close: return HTCLOSE;
    case CaptionHit::Caption: return HTCAPTION;
    default: return HTNOWHERE;
    }
}

CaptionButton ButtonOfCode(WPARAM code) {
    switch (code) {
    case HTMINBUTTON: return CaptionButton::Minimise;
    case HTMAXBUTTON: return CaptionButton::Maximise;
    case HTCLOSE: return CaptionButton::Close;
    default: return CaptionButton::None;
    }
}

}  // namespace

void FrameCaption::Attach(HWND window) {
    window_ = window;
    const int dpi = WindowDpi(window);
    metrics_ = ScaledCaptionMetrics(dpi);
    font_ = MakePointFont(window, 8, L"Microsoft Sans Serif");
    smallIcon_.Reset(LoadSizedIcon(IDI_SMALL, ::MulDiv(16, dpi, 96)));
    const int ids[3][3] = {{IDI_MIN_NORMAL, IDI_MIN_HOVER, IDI_MIN_PRESSED},
                           {IDI_MAX_NORMAL, IDI_MAX_HOVER, IDI_MAX_PRESSED},
                           {IDI_CLOSE_NORMAL, IDI_CLOSE_HOVER, IDI_CLOSE_PRESSED}};
    const int sizes[3] = {metrics_.minimiseSize, metrics_.maximiseSize, metrics_.closeSize};
    for (int b = 0; b < 3; ++b) {
        for (int s = 0; s < 3; ++s) icons_[b][s].Reset(LoadSizedIcon(ids[b][s], sizes[b]));
    }
}

int FrameCaption::FrameWidth() const {
    return ::GetSystemMetrics(SM_CXSIZEFRAME) + ::GetSystemMetrics(SM_CXPADDEDBORDER);
}

int FrameCaption::CaptionBottom() const {
    return ::GetSystemMetrics(SM_CYSIZEFRAME) + ::GetSystemMetrics(SM_CXPADDEDBORDER) +
           ::GetSystemMetrics(SM_CYCAPTION);
}

CaptionHit FrameCaption::HitAt(POINT screen) const {
    RECT wr{};
    ::GetWindowRect(window_, &wr);
    return CaptionHitTest(screen.x, screen.y, wr.right, wr.top, FrameWidth(), CaptionBottom(), metrics_);
}

HICON FrameCaption::IconFor(CaptionButton button, ButtonImage image) const {
    const int b = IndexOf(button);
    if (b < 0) return nullptr;
    return icons_[b][static_cast<int>(image)].Get();
}

void FrameCaption::Paint() {
    if (!window_) return;
    HDC dc = ::GetWindowDC(window_);
    if (!dc) return;
    RECT wr{};
    ::GetWindowRect(window_, &wr);
    const int width = wr.right - wr.left, height = wr.bottom - wr.top;
    RECT client{};
    ::GetClientRect(window_, &client);
    ::MapWindowPoints(window_, HWND_DESKTOP, reinterpret_cast<POINT*>(&client), 2);
    ::OffsetRect(&client, -wr.left, -wr.top);
    ::ExcludeClipRect(dc, client.left, client.top, client.right, client.bottom);

    // Drawn off screen first, so the buttons never flicker.
    win::UniqueMemoryDC memory(::CreateCompatibleDC(dc));
    win::UniqueBitmap canvas(::CreateCompatibleBitmap(dc, width, height));
    if (memory && canvas) {
        win::SelectedObject selected(memory.Get(), canvas.Get());
        HDC m = memory.Get();
        RECT all{0, 0, width, height};
        win::UniqueBrush fill(::CreateSolidBrush(active_ ? kActive : kInactive));
        ::FillRect(m, &all, fill.Get());
        win::UniqueBrush rose(::CreateSolidBrush(kBorder));
        RECT ring = all;
        ::InflateRect(&ring, -1, -1);
        ::FrameRect(m, &ring, rose.Get());
        ::InflateRect(&ring, -1, -1);
        ::FrameRect(m, &ring, rose.Get());
        ::FrameRect(m, &all, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));

        const int frameH = ::GetSystemMetrics(SM_CYSIZEFRAME) + ::GetSystemMetrics(SM_CXPADDEDBORDER);
        const int captionH = ::GetSystemMetrics(SM_CYCAPTION);
        const int dpi = WindowDpi(window_);
        const int textY = (frameH + captionH - ::MulDiv(16, dpi, 96)) / 2 + ::MulDiv(2, dpi, 96);
        if (smallIcon_) {
            const int iconSize = ::MulDiv(16, dpi, 96);
            ::DrawIconEx(m, metrics_.iconX, textY - ::MulDiv(2, dpi, 96), smallIcon_.Get(), iconSize, iconSize, 0,
                         nullptr, DI_NORMAL);
        }
        wchar_t title[128] = {};
        ::GetWindowTextW(window_, title, 128);
        {
            win::SelectedObject font(m, font_.Get());
            ::SetBkMode(m, TRANSPARENT);
            ::SetTextColor(m, RGB(255, 255, 255));
            ::TextOutW(m, metrics_.textX, textY, title, lstrlenW(title));
        }
        const struct {
            CaptionButton button;
            int fromRight, size;
        } buttons[] = {{CaptionButton::Minimise, metrics_.minimiseFromRight, metrics_.minimiseSize},
                       {CaptionButton::Maximise, metrics_.maximiseFromRight, metrics_.maximiseSize},
                       {CaptionButton::Close, metrics_.closeFromRight, metrics_.closeSize}};
        for (const auto& b : buttons) {
            HICON icon = IconFor(b.button, CaptionButtonImage(b.button, hovered_, pressed_));
            if (icon) ::DrawIconEx(m, width - b.fromRight, metrics_.buttonTop, icon, b.size, b.size, 0, nullptr,
                                   DI_NORMAL);
        }
        ::BitBlt(dc, 0, 0, width, height, m, 0, 0, SRCCOPY);
    }
    ::ReleaseDC(window_, dc);
}

void FrameCaption::SetHovered(CaptionButton button) {
    if (button == hovered_) return;
    hovered_ = button;
    Paint();
}

void FrameCaption::Act(CaptionButton button) {
    switch (button) {
    case CaptionButton::Minimise:
        ::ShowWindow(window_, SW_MINIMIZE);
        break;
    case CaptionButton::Maximise:
        ::ShowWindow(window_, ::IsZoomed(window_) ? SW_RESTORE : SW_MAXIMIZE);
        break;
    case CaptionButton::Close:
        ::PostMessageW(window_, WM_CLOSE, 0, 0);
        break;
    default:
        break;
    }
}

void FrameCaption::Release(POINT screen) {
    const CaptionButton over = ButtonOfHit(HitAt(screen));
    const CaptionButton acted = CaptionButtonReleased(pressed_, over);
    pressed_ = CaptionButton::None;
    captured_ = false;
    if (::GetCapture() == window_) ::ReleaseCapture();
    hovered_ = over;
    Paint();
    Act(acted);
}

bool FrameCaption::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    switch (message) {
    case WM_NCPAINT:
        Paint();
        *result = 0;
        return true;
    case WM_NCACTIVATE:
        active_ = wParam != FALSE;
        Paint();
        *result = TRUE;
        return true;
    case WM_SETTEXT:
    case WM_SETICON:
        // The system would draw its own caption; draw ours over it.
        *result = ::DefWindowProcW(window_, message, wParam, lParam);
        Paint();
        return true;
    case WM_NCHITTEST: {
        const POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        const CaptionHit hit = HitAt(p);
        LRESULT code = hit == CaptionHit::Default ? ::DefWindowProcW(window_, message, wParam, lParam) : HitCode(hit);
        // Where the system would place its own buttons, the caption is
        // just caption.
        if (hit == CaptionHit::Default && (code == HTMINBUTTON || code == HTMAXBUTTON || code == HTCLOSE)) {
            code = HTCAPTION;
        }
        *result = code;
        return true;
    }
    case WM_NCMOUSEMOVE: {
        if (!tracking_) {
            TRACKMOUSEEVENT track{sizeof track, TME_LEAVE | TME_NONCLIENT, window_, 0};
            tracking_ = ::TrackMouseEvent(&track) != FALSE;
        }
        const CaptionButton button = ButtonOfCode(wParam);
        SetHovered(button);
        if (button == CaptionButton::None) return false;
        *result = 0;
        return true;
    }
    case WM_NCMOUSELEAVE:
        tracking_ = false;
        if (!captured_) SetHovered(CaptionButton::None);
        *result = 0;
        return true;
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK: {
        const CaptionButton button = ButtonOfCode(wParam);
        if (button == CaptionButton::None) return false;
        pressed_ = button;
        hovered_ = button;
        captured_ = true;
        ::SetCapture(window_);
        Paint();
        *result = 0;
        return true;
    }
    case WM_NCLBUTTONUP:
        if (!captured_ && ButtonOfCode(wParam) == CaptionButton::None) return false;
        if (captured_) Release(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        *result = 0;
        return true;
    case WM_MOUSEMOVE:
        if (!captured_) return false;
        {
            POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            ::ClientToScreen(window_, &p);
            SetHovered(ButtonOfHit(HitAt(p)));
        }
        *result = 0;
        return true;
    case WM_LBUTTONUP:
        if (!captured_) return false;
        {
            POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            ::ClientToScreen(window_, &p);
            Release(p);
        }
        *result = 0;
        return true;
    case WM_CAPTURECHANGED:
        if (captured_ && reinterpret_cast<HWND>(lParam) != window_) {
            captured_ = false;
            pressed_ = CaptionButton::None;
            Paint();
        }
        return false;
    default:
        return false;
    }
}

}  // namespace corva::desktop
