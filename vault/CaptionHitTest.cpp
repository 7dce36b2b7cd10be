#include "CaptionHitTest.h"

namespace corva::vault {

CaptionPart CaptionHitTest(int x, int y, const ScreenRect& window, int frameWidth) {
    if (x < window.right - kMinimiseButtonOffset || x >= window.right - frameWidth || y <= window.top + 1)
        return CaptionPart::Elsewhere;
    if (y > window.top + 16) return CaptionPart::Caption;
    if (x < window.right - kCloseButtonOffset) return CaptionPart::Minimise;
    if (x <= window.right - 12) return CaptionPart::Close;
    return CaptionPart::Caption;
}

}  // namespace corva::vault
