// The menu bar as a toolbar in the rebar: one text button per item of the
// menu, which drops that item's popup under the button. Alt with an item's
// underlined letter opens it from the keyboard, with its first entry
// selected; while a popup is open, Left and Right go on to the popup of
// the item before or after it (round the bar), as in a window menu. The
// popups' commands and highlight messages go to the owner window, as a
// window menu's would.
#pragma once

#include <windows.h>

namespace corva::desktop {

class CommandBar {
public:
    CommandBar() = default;
    CommandBar(const CommandBar&) = delete;
    CommandBar& operator=(const CommandBar&) = delete;

    // Creates the bar as a child of parent (the rebar), sending its
    // notifications to owner. The menu stays the caller's.
    bool Create(HWND parent, HWND owner, HMENU menu, int id);
    HWND Handle() const { return bar_; }
    SIZE IdealSize() const;

    // Opens the popup of top-level item index.
    void OpenMenu(int index, bool fromKeyboard);
    // Opens the popup whose underlined letter is letter; false when none.
    bool OpenMenuByLetter(wchar_t letter);
    // A notification from the bar (TBN_DROPDOWN); true when handled.
    bool OnNotify(const NMHDR& header, LRESULT* result);
    // Whether a popup of the bar is open right now.
    bool MenuOpen() const { return open_; }

private:
    static constexpr int kFirstButtonId = 2200;
    // Watches the keys of the open popup for Left and Right.
    static LRESULT CALLBACK MenuKeys(int code, WPARAM wParam, LPARAM lParam);
    void TrackOne(int index, bool fromKeyboard);

    HWND bar_ = nullptr;  // a child of the rebar, destroyed with it
    HWND owner_ = nullptr;
    HMENU menu_ = nullptr;
    bool open_ = false;
    int openIndex_ = -1;
    int next_ = -1;  // the popup to open once the open one has closed
};

}  // namespace corva::desktop
