// The "Did You Know?" panel under the folder tree (dialog 229, a child
// window with a sunken edge): three tips over the background picture
// (bitmap 230, its last column stretched when the panel is wider), the
// title in red at 12 points, and the links "Close" and "Learn More", which
// post the commands TipsPanel and LearnMore to the window given at
// creation.
#pragma once

#include <windows.h>

#include "platform/WinHandles.h"

namespace corva::desktop {

class TipsPanel {
public:
    static constexpr COLORREF kAccent = RGB(190, 32, 46);

    TipsPanel() = default;
    ~TipsPanel();
    TipsPanel(const TipsPanel&) = delete;
    TipsPanel& operator=(const TipsPanel&) = delete;

    // Creates the panel as a child of parent; commands go to commandTarget.
    bool Create(HWND parent, HWND commandTarget, int id);
    HWND Handle() const { return hwnd_; }

private:
    static INT_PTR CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInit();
    bool IsLink(HWND control) const;

    HWND hwnd_ = nullptr;
    HWND target_ = nullptr;
    win::UniqueBitmap background_;
    win::UniqueFont titleFont_;
    win::UniqueFont linkFont_;
};

}  // namespace corva::desktop
