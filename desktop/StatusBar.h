// The main window's status bar (with size grip), painted by the program:
// the colour strip of bitmap 231 stretched over the bar and the text at
// (4, 3) in 8-point "Microsoft Sans Serif" on a transparent background.
// The text is also the bar's window text, so other programs can read it.
#pragma once

#include <windows.h>

#include <string>

#include "platform/WinHandles.h"

namespace corva::desktop {

class StatusBar {
public:
    StatusBar() = default;
    ~StatusBar();
    StatusBar(const StatusBar&) = delete;
    StatusBar& operator=(const StatusBar&) = delete;

    bool Create(HWND parent, int id, HBITMAP strip);
    HWND Handle() const { return bar_; }
    void SetText(const std::wstring& text);
    const std::wstring& Text() const { return text_; }
    int Height() const;

private:
    static LRESULT CALLBACK Subclass(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR data);
    void Paint(HDC dc);

    HWND bar_ = nullptr;  // a child of the main window, destroyed with it
    HBITMAP strip_ = nullptr;
    win::UniqueFont font_;
    std::wstring text_;
};

}  // namespace corva::desktop
