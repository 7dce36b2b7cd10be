// Where a point lies on the vault window's self-drawn caption: its
// minimise and close buttons hang from the top edge at the right.
#pragma once

namespace corva::vault {

enum class CaptionPart { Elsewhere, Caption, Minimise, Close };

struct ScreenRect {
    int left, top, right, bottom;
};

// For a point (x, y) in screen coordinates and the window rectangle: only
// when right - 80 <= x < right - frameWidth and y > top + 1 does the
// caption answer: up to top + 16, x < right - 54 is the minimise button,
// right - 54 <= x <= right - 12 the close button and any other x caption;
// below top + 16 it is caption. Elsewhere the standard hit test applies.
CaptionPart CaptionHitTest(int x, int y, const ScreenRect& window, int frameWidth);

// Pixel offsets of the two buttons from the window's right edge.
constexpr int kMinimiseButtonOffset = 80;  // 32 x 32 icon at (width - 80, 1)
constexpr int kCloseButtonOffset = 54;     // 48 x 48 icon at (width - 54, 1)

}  // namespace corva::vault
