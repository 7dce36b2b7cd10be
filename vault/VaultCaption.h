// The vault window's own caption and border: a red band with the title and
// a small icon, and minimise and close buttons drawn as icons that hang
// from the top edge. The standard caption drawing is suppressed; the
// buttons track hover and press themselves (with mouse capture) and act on
// release over the button that was pressed.
#pragma once

#include <windows.h>

#include "CaptionHitTest.h"
#include "platform/WinHandles.h"

namespace corva::vault {

class VaultCaption {
public:
    static constexpr COLORREF kActiveBand = RGB(155, 43, 30);
    static constexpr COLORREF kInactiveBand = RGB(180, 95, 85);
    static constexpr COLORREF kOuterFrame = RGB(204, 102, 102);

    VaultCaption() = default;
    VaultCaption(const VaultCaption&) = delete;
    VaultCaption& operator=(const VaultCaption&) = delete;

    // Call once the window exists: loads the icons and the caption font.
    void Attach(HWND window);

    // Handles the non-client messages (and the client mouse messages while
    // a button holds the capture). True when handled; *result is the
    // message's result then.
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

    // Draws caption and border now.
    void Paint();

    CaptionPart Hovered() const { return hovered_; }
    CaptionPart Pressed() const { return pressed_; }

private:
    CaptionPart HitTest(POINT screen) const;
    void SetHover(CaptionPart part);
    void Perform(CaptionPart part);

    HWND window_ = nullptr;
    corva::ui::UniqueFont font_;
    HICON caption_ = nullptr;
    HICON minimise_[3] = {};  // normal, hovered, pressed
    HICON close_[3] = {};
    CaptionPart hovered_ = CaptionPart::Elsewhere;
    CaptionPart pressed_ = CaptionPart::Elsewhere;
    bool active_ = true;
    bool tracking_ = false;
};

}  // namespace corva::vault
