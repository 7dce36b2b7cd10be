#include "CaptionLayout.h"

#include <algorithm>

namespace corva::ui {

CaptionMetrics ScaledCaptionMetrics(const CaptionMetrics& at96, int dpi) {
    CaptionMetrics m = at96;
    if (dpi <= 0 || dpi == 96) return m;
    auto s = [dpi](int v) { return (v * dpi + 48) / 96; };
    for (int* v : {&m.minimiseFromRight, &m.maximiseFromRight, &m.closeFromRight, &m.buttonTop, &m.hitTop,
                   &m.hitBottom, &m.closeEndFromRight, &m.minimiseSize, &m.maximiseSize, &m.closeSize, &m.textX,
                   &m.iconX, &m.iconSize}) {
        *v = s(*v);
    }
    return m;
}

CaptionHit CaptionHitTest(int x, int y, int right, int top, int frameWidth, int captionBottom,
                          const CaptionMetrics& m) {
    if (x < right - m.minimiseFromRight || x >= right - frameWidth) return CaptionHit::Default;
    if (y <= top + m.hitTop || y >= top + std::max(captionBottom, m.hitBottom + 1)) return CaptionHit::Default;
    if (y > top + m.hitBottom) return CaptionHit::Caption;
    if (x < right - m.maximiseFromRight) return CaptionHit::Minimise;
    if (x < right - m.closeFromRight) return CaptionHit::Maximise;
    if (x <= right - m.closeEndFromRight) return CaptionHit::Close;
    return CaptionHit::Caption;
}

CaptionButton ButtonOfHit(CaptionHit hit) {
    switch (hit) {
    case CaptionHit::Minimise: return CaptionButton::Minimise;
    case CaptionHit::Maximise: return CaptionButton::Maximise;
    case CaptionHit::Close: return CaptionButton::Close;
    default: return CaptionButton::None;
    }
}

ButtonImage CaptionButtonImage(CaptionButton button, CaptionButton hovered, CaptionButton pressed) {
    const bool isHovered = hovered == button;
    const bool isPressed = pressed == button;
    if (isHovered && isPressed) return ButtonImage::Pressed;
    if (isHovered != isPressed) {
        const bool otherHolds = (hovered != CaptionButton::None && hovered != button) ||
                                (pressed != CaptionButton::None && pressed != button);
        if (!otherHolds) return ButtonImage::Hover;
    }
    return ButtonImage::Normal;
}

CaptionButton CaptionButtonReleased(CaptionButton pressed, CaptionButton releasedOver) {
    return pressed != CaptionButton::None && pressed == releasedOver ? pressed : CaptionButton::None;
}

}  // namespace corva::ui
