// A push button drawn as a hyperlink: underlined text in the link colour,
// the hand pointer over it and its label as tooltip. A click, Space or Enter
// while it has the focus sends the usual WM_COMMAND / BN_CLICKED to the
// dialog (Enter never reaches the dialog's default button); no address is
// opened.
#pragma once

#include <windows.h>

#include <string>

#include "platform/WinHandles.h"

namespace corva::ui {

class HyperlinkButton {
public:
    // Colour of the link text and its underline.
    static constexpr COLORREF kLinkColour = RGB(0, 102, 204);

    HyperlinkButton() = default;
    ~HyperlinkButton() = default;
    HyperlinkButton(const HyperlinkButton&) = delete;
    HyperlinkButton& operator=(const HyperlinkButton&) = delete;

    // Creates the control in the dialog's client area. The rectangle is in
    // pixels at 96 dots per inch and is scaled to the display.
    bool Create(HWND dialog, int controlId, const RECT& rectAt96, const std::wstring& label);

    // Draws the control; call from the dialog's WM_DRAWITEM. True when the
    // item was this control.
    bool Draw(const DRAWITEMSTRUCT& item) const;

    HWND Handle() const { return button_; }

private:
    static LRESULT CALLBACK Subclass(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR data);

    HWND button_ = nullptr;  // a child of the dialog, destroyed with it
    std::wstring label_;
    UniqueFont font_;
    UniqueWindow tooltip_;
};

}  // namespace corva::ui
