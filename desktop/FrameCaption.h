// The main window's own title bar and border: the non-client area filled in
// the active or inactive colour, a 2-pixel rose border inside a 1-pixel
// black one, the icon and the caption text, and the three caption buttons
// drawn from icons, with their hit-testing and the hover / press / release
// behaviour. The window forwards the non-client messages here.
#pragma once

#include <windows.h>

#include "FrameRules.h"
#include "platform/WinHandles.h"

namespace corva::desktop {

class FrameCaption {
public:
    static constexpr COLORREF kActive = RGB(155, 43, 30);
    static constexpr COLORREF kInactive = RGB(180, 95, 85);
    static constexpr COLORREF kBorder = RGB(204, 102, 102);

    FrameCaption() = default;
    FrameCaption(const FrameCaption&) = delete;
    FrameCaption& operator=(const FrameCaption&) = delete;

    // Loads the icons and the font for the window's display.
    void Attach(HWND window);

    // Handles a non-client or mouse message; true when it was used, with
    // *result the answer. The window's own procedure does the rest.
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

    void Paint();

    CaptionButton Hovered() const { return hovered_; }
    CaptionButton Pressed() const { return pressed_; }

private:
    CaptionHit HitAt(POINT screen) const;
    int FrameWidth() const;
    int CaptionBottom() const;
    void SetHovered(CaptionButton button);
    void Release(POINT screen);
    void Act(CaptionButton button);
    HICON IconFor(CaptionButton button, ButtonImage image) const;

    HWND window_ = nullptr;
    CaptionMetrics metrics_;
    CaptionButton hovered_ = CaptionButton::None;
    CaptionButton pressed_ = CaptionButton::None;
    bool captured_ = false;
    bool tracking_ = false;
    bool active_ = true;
    win::UniqueFont font_;
    win::UniqueIcon smallIcon_;
    win::UniqueIcon icons_[3][3];  // [minimise, maximise, close][normal, hover, pressed]
};

}  // namespace corva::desktop
