// The self-drawn title bar and border of a program's main window, one for
// every program, driven by the program's CaptionStyle: the non-client area
// filled in the active or inactive colour inside a black outline and a rose
// border, the small icon and the title in white, and the caption buttons
// drawn from icons, all scaled to the window's display. It answers the hit
// test from the same metrics, tracks hover and press itself (with mouse
// capture) and acts when a button is released over itself. The window hands
// it its messages first; nothing fails loudly (a missing icon is not drawn).
#pragma once

#include <windows.h>

#include <cstddef>

#include "CaptionLayout.h"
#include "platform/WinHandles.h"

namespace corva::ui {

struct CaptionStyle {
    COLORREF active, inactive, border;
    int borderWidth;         // rose pixels inside the one-pixel black outline
    bool sizingFrame;        // a sizing frame (with its padding), else a dialog frame
    size_t titleChars;       // how much of the title is drawn; 0: all of it
    int iconId;              // the small icon left of the title
    int buttonIcons[3][3];   // [minimise, maximise, close][normal, hover, pressed]; 0: no such button
    CaptionMetrics metrics;  // at 96 dots per inch
};

class CustomCaption {
public:
    explicit CustomCaption(const CaptionStyle& style) : style_(style) {}
    CustomCaption(const CustomCaption&) = delete;
    CustomCaption& operator=(const CustomCaption&) = delete;

    // Call once the window exists: loads the icons and the font for its
    // display.
    void Attach(HWND window);

    // Handles a non-client message (and the client mouse messages while a
    // button holds the capture). True when it was used, with *result the
    // answer; the window's own procedure does the rest.
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

    // Draws caption and border now.
    void Paint();

    CaptionButton Hovered() const { return hovered_; }
    CaptionButton Pressed() const { return pressed_; }

private:
    CaptionHit HitAt(POINT screen) const;
    LRESULT HitTestCode(LPARAM lParam);
    bool OnNonClientMouse(UINT message, WPARAM hitCode);
    bool OnCapturedMouse(UINT message, LPARAM lParam);
    int FrameWidth() const;
    int FrameHeight() const;
    void SetHovered(CaptionButton button);
    void Release(POINT screen);
    void Act(CaptionButton button);

    const CaptionStyle& style_;
    HWND window_ = nullptr;
    int dpi_ = 96;
    CaptionMetrics metrics_{};
    CaptionButton hovered_ = CaptionButton::None;
    CaptionButton pressed_ = CaptionButton::None;
    bool captured_ = false;
    bool tracking_ = false;
    bool active_ = true;
    win::UniqueFont font_;
    win::UniqueIcon smallIcon_;
    win::UniqueIcon icons_[3][3];  // as CaptionStyle::buttonIcons
};

}  // namespace corva::ui
