#include "CustomCaption.h"

#include <windowsx.h>

#include <string>

#include "DialogSupport.h"

namespace corva::ui {

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
    if (id == 0) return nullptr;
    return static_cast<HICON>(::LoadImageW(ResourceModule(), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
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

void CustomCaption::Attach(HWND window) {
    window_ = window;
    dpi_ = ScaleForDpi(window, 96);
    metrics_ = ScaledCaptionMetrics(style_.metrics, dpi_);
    LOGFONTW lf{};
    lf.lfHeight = -::MulDiv(8, dpi_, 72);
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(lf.lfFaceName, L"Microsoft Sans Serif", LF_FACESIZE);
    font_.Reset(::CreateFontIndirectW(&lf));
    smallIcon_.Reset(LoadSizedIcon(style_.iconId, metrics_.iconSize));
    const int sizes[3] = {metrics_.minimiseSize, metrics_.maximiseSize, metrics_.closeSize};
    for (int b = 0; b < 3; ++b) {
        for (int s = 0; s < 3; ++s) icons_[b][s].Reset(LoadSizedIcon(style_.buttonIcons[b][s], sizes[b]));
    }
}

int CustomCaption::FrameWidth() const {
    return style_.sizingFrame ? ::GetSystemMetrics(SM_CXSIZEFRAME) + ::GetSystemMetrics(SM_CXPADDEDBORDER)
                              : ::GetSystemMetrics(SM_CXDLGFRAME);
}

int CustomCaption::FrameHeight() const {
    return style_.sizingFrame ? ::GetSystemMetrics(SM_CYSIZEFRAME) + ::GetSystemMetrics(SM_CXPADDEDBORDER)
                              : ::GetSystemMetrics(SM_CYDLGFRAME);
}

CaptionHit CustomCaption::HitAt(POINT screen) const {
    RECT wr{};
    if (!::GetWindowRect(window_, &wr)) return CaptionHit::Default;
    return CaptionHitTest(screen.x, screen.y, wr.right, wr.top, FrameWidth(),
                          FrameHeight() + ::GetSystemMetrics(SM_CYCAPTION), metrics_);
}

void CustomCaption::Paint() {
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
        win::UniqueBrush fill(::CreateSolidBrush(active_ ? style_.active : style_.inactive));
        ::FillRect(m, &all, fill.Get());
        win::UniqueBrush rose(::CreateSolidBrush(style_.border));
        RECT ring = all;
        for (int i = 0; i < style_.borderWidth; ++i) {
            ::InflateRect(&ring, -1, -1);
            ::FrameRect(m, &ring, rose.Get());
        }
        ::FrameRect(m, &all, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));

        const int iconY = (FrameHeight() + ::GetSystemMetrics(SM_CYCAPTION) - metrics_.iconSize) / 2;
        if (smallIcon_) {
            ::DrawIconEx(m, metrics_.iconX, iconY, smallIcon_.Get(), metrics_.iconSize, metrics_.iconSize, 0,
                         nullptr, DI_NORMAL);
        }
        wchar_t title[128] = {};
        ::GetWindowTextW(window_, title, 128);
        std::wstring text(title);
        if (style_.titleChars > 0 && text.size() > style_.titleChars) text.resize(style_.titleChars);
        {
            win::SelectedObject font(m, font_.Get());
            ::SetBkMode(m, TRANSPARENT);
            ::SetTextColor(m, RGB(255, 255, 255));
            ::TextOutW(m, metrics_.textX, iconY + ::MulDiv(2, dpi_, 96), text.c_str(), static_cast<int>(text.size()));
        }
        const struct {
            CaptionButton button;
            int fromRight, size;
        } buttons[] = {{CaptionButton::Minimise, metrics_.minimiseFromRight, metrics_.minimiseSize},
                       {CaptionButton::Maximise, metrics_.maximiseFromRight, metrics_.maximiseSize},
                       {CaptionButton::Close, metrics_.closeFromRight, metrics_.closeSize}};
        for (const auto& b : buttons) {
            const ButtonImage image = CaptionButtonImage(b.button, hovered_, pressed_);
            HICON icon = icons_[IndexOf(b.button)][static_cast<int>(image)].Get();
            if (icon) ::DrawIconEx(m, width - b.fromRight, metrics_.buttonTop, icon, b.size, b.size, 0, nullptr,
                                   DI_NORMAL);
        }
        ::BitBlt(dc, 0, 0, width, height, m, 0, 0, SRCCOPY);
    }
    ::ReleaseDC(window_, dc);
}

void CustomCaption::SetHovered(CaptionButton button) {
    if (button == hovered_) return;
    hovered_ = button;
    Paint();
}

void CustomCaption::Act(CaptionButton button) {
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

void CustomCaption::Release(POINT screen) {
    const CaptionButton over = ButtonOfHit(HitAt(screen));
    const CaptionButton acted = CaptionButtonReleased(pressed_, over);
    pressed_ = CaptionButton::None;
    captured_ = false;
    if (::GetCapture() == window_) ::ReleaseCapture();
    hovered_ = over;
    Paint();
    Act(acted);
}

LRESULT CustomCaption::HitTestCode(LPARAM lParam) {
    const CaptionHit hit = HitAt(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
    if (hit != CaptionHit::Default) return HitCode(hit);
    const LRESULT code = ::DefWindowProcW(window_, WM_NCHITTEST, 0, lParam);
    // Where the system would place its own buttons, the caption is just
    // caption.
    return code == HTMINBUTTON || code == HTMAXBUTTON || code == HTCLOSE ? HTCAPTION : code;
}

// Moves and presses over the non-client area; true when a button took them.
bool CustomCaption::OnNonClientMouse(UINT message, WPARAM hitCode) {
    const CaptionButton button = ButtonOfCode(hitCode);
    switch (message) {
    case WM_NCMOUSEMOVE:
        if (!tracking_) {
            TRACKMOUSEEVENT track{sizeof track, TME_LEAVE | TME_NONCLIENT, window_, 0};
            tracking_ = ::TrackMouseEvent(&track) != FALSE;
        }
        SetHovered(button);
        return button != CaptionButton::None;
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK:
        if (button == CaptionButton::None) return false;
        pressed_ = button;
        hovered_ = button;
        captured_ = true;
        ::SetCapture(window_);
        Paint();
        return true;
    default:
        return false;
    }
}

// Client-area moves and the release while a button holds the capture, in
// screen terms; true when the caption took them.
bool CustomCaption::OnCapturedMouse(UINT message, LPARAM lParam) {
    if (!captured_) return false;
    POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ::ClientToScreen(window_, &p);
    if (message == WM_MOUSEMOVE) SetHovered(ButtonOfHit(HitAt(p)));
    else Release(p);
    return true;
}

bool CustomCaption::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (!window_) return false;
    *result = 0;
    switch (message) {
    case WM_NCPAINT:
        Paint();
        return true;
    case WM_NCACTIVATE:
        active_ = wParam != FALSE;
        Paint();
        *result = TRUE;  // let the activation change go ahead
        return true;
    case WM_SETTEXT:
    case WM_SETICON:
        // The system would draw its own caption; draw ours over it.
        *result = ::DefWindowProcW(window_, message, wParam, lParam);
        Paint();
        return true;
    case WM_NCHITTEST:
        *result = HitTestCode(lParam);
        return true;
    case WM_NCMOUSEMOVE:
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK:
        return OnNonClientMouse(message, wParam);
    case WM_NCMOUSELEAVE:
        tracking_ = false;
        if (!captured_) SetHovered(CaptionButton::None);
        return true;
    case WM_NCLBUTTONUP:
        if (!captured_ && ButtonOfCode(wParam) == CaptionButton::None) return false;
        if (captured_) Release(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return true;
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
        return OnCapturedMouse(message, lParam);
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

}  // namespace corva::ui
