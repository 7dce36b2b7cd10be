// Where a self-drawn caption puts its buttons and what a point on it hits,
// as plain data and pure functions (portable, tested natively). Each
// program describes its caption once, in pixels at 96 dots per inch; the
// same description, scaled, serves every resolution.
#pragma once

namespace corva::ui {

enum class CaptionButton { None, Minimise, Maximise, Close };
enum class CaptionHit { Default, Caption, Minimise, Maximise, Close };

// Measured from the window's top-left corner (x of buttons from the right
// edge). A caption without a maximise button gives it maximiseFromRight =
// closeFromRight and size 0: its column is empty.
struct CaptionMetrics {
    int minimiseFromRight, maximiseFromRight, closeFromRight;
    int buttonTop;
    int hitTop, hitBottom;  // a button row point has hitTop < y <= hitBottom
    int closeEndFromRight;  // the close button ends here
    int minimiseSize, maximiseSize, closeSize;
    int textX, iconX;
    int iconSize;  // the small icon left of the title
};

// The metrics scaled from 96 dots per inch to dpi (rounded to the nearest
// pixel).
CaptionMetrics ScaledCaptionMetrics(const CaptionMetrics& at96, int dpi);

// What a point (screen coordinates) hits, for a window whose right edge is
// right and top edge top, whose frame is frameWidth wide and whose caption
// ends captionBottom pixels below the top edge. Points outside the button
// row's x range, at or above the top line, or below the caption (the client
// area and the bottom border: they keep their own meaning) get Default, the
// system's own answer.
CaptionHit CaptionHitTest(int x, int y, int right, int top, int frameWidth, int captionBottom,
                          const CaptionMetrics& m);

CaptionButton ButtonOfHit(CaptionHit hit);

enum class ButtonImage { Normal, Hover, Pressed };

// Pressed when the button is both pressed and hovered; hover when it is
// hovered or pressed (not both) and no other button holds the mouse;
// normal otherwise.
ButtonImage CaptionButtonImage(CaptionButton button, CaptionButton hovered, CaptionButton pressed);

// What releasing the mouse does: the pressed button acts only when it is
// released over itself.
CaptionButton CaptionButtonReleased(CaptionButton pressed, CaptionButton releasedOver);

}  // namespace corva::ui
