// Owners for Windows handles (Windows only): kernel objects, find handles,
// registry keys, menus, icons, GDI objects, windows and device contexts.
// Each owner closes its handle exactly once, when it is destroyed or given
// another handle; copying is deleted and moving hands the handle over. A
// failed close is ignored: there is nothing a destructor could do about it.
#pragma once

#include <windows.h>

#include <utility>

namespace corva::win {

// One owned handle; Traits says how it is released and which values mean
// "nothing held".
template <typename Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    Handle Get() const { return handle_; }
    bool Valid() const { return Traits::Valid(handle_); }
    explicit operator bool() const { return Valid(); }

    // Releases the held handle and takes another one (or none).
    void Reset(Handle handle = Traits::Empty()) {
        if (Traits::Valid(handle_)) Traits::Close(handle_);
        handle_ = handle;
    }
    // Gives the handle up without releasing it.
    Handle Release() { return std::exchange(handle_, Traits::Empty()); }
    // Releases what is held and returns the slot for a function that
    // writes a new handle into it (RegOpenKeyExW, for example).
    Handle* Receive() {
        Reset();
        return &handle_;
    }

private:
    Handle handle_ = Traits::Empty();
};

// Kernel objects: files, threads, processes, mutexes, events. Both null and
// INVALID_HANDLE_VALUE mean "nothing held", since CreateFileW and the
// thread and mutex functions report failure differently.
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() { return nullptr; }
    static bool Valid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { ::CloseHandle(h); }
};
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;

// A search started with FindFirstFileW.
struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() { return INVALID_HANDLE_VALUE; }
    static bool Valid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { ::FindClose(h); }
};
using UniqueFindHandle = UniqueHandle<FindHandleTraits>;

// An opened or created registry key (never one of the predefined roots
// such as HKEY_CURRENT_USER, which are not closed).
struct RegistryKeyTraits {
    using Handle = HKEY;
    static Handle Empty() { return nullptr; }
    static bool Valid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { ::RegCloseKey(h); }
};
using UniqueRegistryKey = UniqueHandle<RegistryKeyTraits>;

// A menu that no window owns (a menu attached to a window is destroyed
// with the window: Release() it when attaching).
struct MenuTraits {
    using Handle = HMENU;
    static Handle Empty() { return nullptr; }
    static bool Valid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { ::DestroyMenu(h); }
};
using UniqueMenu = UniqueHandle<MenuTraits>;

// An icon or cursor made or loaded with its own copy (LoadImageW without
// LR_SHARED, CreateIconIndirect, CopyIcon).
struct IconTraits {
    using Handle = HICON;
    static Handle Empty() { return nullptr; }
    static bool Valid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { ::DestroyIcon(h); }
};
using UniqueIcon = UniqueHandle<IconTraits>;

// A GDI object (font, bitmap, brush, pen, region), deleted with
// DeleteObject. It must not be selected into a device context then.
template <typename GdiHandle>
struct GdiObjectTraits {
    using Handle = GdiHandle;
    static Handle Empty() { return nullptr; }
    static bool Valid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { ::DeleteObject(h); }
};
template <typename GdiHandle>
using UniqueGdiObject = UniqueHandle<GdiObjectTraits<GdiHandle>>;
using UniqueFont = UniqueGdiObject<HFONT>;
using UniqueBitmap = UniqueGdiObject<HBITMAP>;
using UniqueBrush = UniqueGdiObject<HBRUSH>;
using UniquePen = UniqueGdiObject<HPEN>;
using UniqueRegion = UniqueGdiObject<HRGN>;

// A memory device context made with CreateCompatibleDC.
struct MemoryDCTraits {
    using Handle = HDC;
    static Handle Empty() { return nullptr; }
    static bool Valid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { ::DeleteDC(h); }
};
using UniqueMemoryDC = UniqueHandle<MemoryDCTraits>;

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

// An object selected into a device context for the owner's lifetime; the
// previous object is selected back at the end.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(object ? ::SelectObject(dc, object) : nullptr) {}
    ~SelectedObject() {
        if (previous_) ::SelectObject(dc_, previous_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
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

}  // namespace corva::win

// The dialogs know these owners by their older home.
namespace corva::ui {
using win::DeriveFont;
using win::UniqueFont;
using win::UniqueWindow;
using win::WindowDC;
}  // namespace corva::ui
