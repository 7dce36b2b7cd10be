// Owning wrappers for the few Windows handles the dialogs create.
#pragma once

#include <windows.h>

namespace corva::ui {

// A GDI font owned by the object; deleted with it.
class UniqueFont {
public:
    UniqueFont() = default;
    explicit UniqueFont(HFONT font) : font_(font) {}
    ~UniqueFont() { Reset(); }
    UniqueFont(const UniqueFont&) = delete;
    UniqueFont& operator=(const UniqueFont&) = delete;
    UniqueFont(UniqueFont&& other) noexcept : font_(other.font_) { other.font_ = nullptr; }
    UniqueFont& operator=(UniqueFont&& other) noexcept {
        if (this != &other) {
            Reset(other.font_);
            other.font_ = nullptr;
        }
        return *this;
    }
    HFONT Get() const { return font_; }
    void Reset(HFONT font = nullptr) {
        if (font_) ::DeleteObject(font_);
        font_ = font;
    }

private:
    HFONT font_ = nullptr;
};

// A window the object created and destroys (when it still exists).
class UniqueWindow {
public:
    UniqueWindow() = default;
    explicit UniqueWindow(HWND window) : window_(window) {}
    ~UniqueWindow() { Reset(); }
    UniqueWindow(const UniqueWindow&) = delete;
    UniqueWindow& operator=(const UniqueWindow&) = delete;
    HWND Get() const { return window_; }
    void Reset(HWND window = nullptr) {
        if (window_ && ::IsWindow(window_)) ::DestroyWindow(window_);
        window_ = window;
    }

private:
    HWND window_ = nullptr;
};

// A window's device context for drawing or measuring, released with the
// object; a font selected into it is put back first.
class WindowDC {
public:
    explicit WindowDC(HWND window) : window_(window), dc_(::GetDC(window)) {}
    ~WindowDC() {
        if (!dc_) return;
        if (oldFont_) ::SelectObject(dc_, oldFont_);
        ::ReleaseDC(window_, dc_);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC Get() const { return dc_; }
    void SelectFont(HFONT font) {
        if (!dc_ || !font) return;
        HGDIOBJ previous = ::SelectObject(dc_, font);
        if (!oldFont_) oldFont_ = previous;
    }

private:
    HWND window_;
    HDC dc_;
    HGDIOBJ oldFont_ = nullptr;
};

// A font derived from the one a window uses, with changes applied to its
// description (bold, underline). Empty when the window has no font.
template <typename Change>
UniqueFont DeriveFont(HWND window, Change change) {
    HFONT base = reinterpret_cast<HFONT>(::SendMessageW(window, WM_GETFONT, 0, 0));
    if (!base) base = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    LOGFONTW lf{};
    if (!::GetObjectW(base, sizeof lf, &lf)) return UniqueFont();
    change(lf);
    return UniqueFont(::CreateFontIndirectW(&lf));
}

}  // namespace corva::ui
