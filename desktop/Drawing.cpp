#include "Drawing.h"

#include <algorithm>

namespace corva::desktop {

int WindowDpi(HWND window) {
    win::WindowDC dc(window);
    return dc.Get() ? ::GetDeviceCaps(dc.Get(), LOGPIXELSY) : 96;
}

win::UniqueFont MakePointFont(HWND window, int points, const wchar_t* face, bool bold, bool underline) {
    LOGFONTW lf{};
    lf.lfHeight = -::MulDiv(points, WindowDpi(window), 72);
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lf.lfUnderline = underline ? TRUE : FALSE;
    lf.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
    return win::UniqueFont(::CreateFontIndirectW(&lf));
}

namespace {

bool BitmapSize(HBITMAP bitmap, int* w, int* h) {
    BITMAP info{};
    if (!bitmap || !::GetObjectW(bitmap, sizeof info, &info)) return false;
    *w = info.bmWidth;
    *h = info.bmHeight;
    return true;
}

}  // namespace

void StretchBitmap(HDC dc, const RECT& dest, HBITMAP bitmap) {
    int w = 0, h = 0;
    if (!BitmapSize(bitmap, &w, &h)) return;
    win::UniqueMemoryDC memory(::CreateCompatibleDC(dc));
    if (!memory) return;
    win::SelectedObject selected(memory.Get(), bitmap);
    ::SetStretchBltMode(dc, COLORONCOLOR);
    ::StretchBlt(dc, dest.left, dest.top, dest.right - dest.left, dest.bottom - dest.top, memory.Get(), 0, 0, w, h,
                 SRCCOPY);
}

void DrawPictureExtended(HDC dc, const RECT& dest, HBITMAP bitmap) {
    int w = 0, h = 0;
    if (!BitmapSize(bitmap, &w, &h)) return;
    win::UniqueMemoryDC memory(::CreateCompatibleDC(dc));
    if (!memory) return;
    win::SelectedObject selected(memory.Get(), bitmap);
    ::SetStretchBltMode(dc, COLORONCOLOR);
    const int destW = dest.right - dest.left, destH = dest.bottom - dest.top;
    const int drawW = std::min(w, destW), drawH = std::min(h, destH);
    ::BitBlt(dc, dest.left, dest.top, drawW, drawH, memory.Get(), 0, 0, SRCCOPY);
    if (destW > w) {
        ::StretchBlt(dc, dest.left + w, dest.top, destW - w, drawH, memory.Get(), w - 1, 0, 1, drawH, SRCCOPY);
    }
    if (destH > h) {
        ::StretchBlt(dc, dest.left, dest.top + h, destW, destH - h, memory.Get(), 0, h - 1, std::min(w, destW), 1,
                     SRCCOPY);
    }
}

HBITMAP ScaledBitmap(HBITMAP source, int dpi) {
    BITMAP info{};
    if (!source || dpi == 96 || !::GetObjectW(source, sizeof info, &info)) return source;
    HBITMAP scaled = static_cast<HBITMAP>(::CopyImage(source, IMAGE_BITMAP, ::MulDiv(info.bmWidth, dpi, 96),
                                                      ::MulDiv(info.bmHeight, dpi, 96), LR_CREATEDIBSECTION));
    if (!scaled) return source;
    ::DeleteObject(source);
    return scaled;
}

HBITMAP LoadProgramBitmap(int id) {
    return static_cast<HBITMAP>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0,
                                             LR_CREATEDIBSECTION));
}

}  // namespace corva::desktop
