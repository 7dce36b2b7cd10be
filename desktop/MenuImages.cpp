#include "MenuImages.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "ui/Dib.h"

namespace corva::desktop {

namespace {

// A strip's pixels, 32-bit BGRA with straight alpha, top row first.
struct Pixels {
    int width = 0, height = 0;
    std::vector<uint32_t> bgra;
    uint32_t At(int x, int y) const { return bgra[static_cast<size_t>(y) * width + x]; }
};

bool ReadStrip(HBITMAP strip, Pixels* out) {
    DIBSECTION section{};
    if (!strip || ::GetObjectW(strip, sizeof section, &section) != sizeof section) return false;
    const BITMAP& bm = section.dsBm;
    if (bm.bmBitsPixel != 32 || !bm.bmBits || bm.bmWidth <= 0 || bm.bmHeight <= 0) return false;
    const bool bottomUp = section.dsBmih.biHeight > 0;
    out->width = bm.bmWidth;
    out->height = bm.bmHeight;
    out->bgra.resize(static_cast<size_t>(bm.bmWidth) * bm.bmHeight);
    const auto* bits = static_cast<const unsigned char*>(bm.bmBits);
    for (int y = 0; y < bm.bmHeight; ++y) {
        const int row = bottomUp ? bm.bmHeight - 1 - y : y;
        const auto* line = reinterpret_cast<const uint32_t*>(bits + static_cast<size_t>(row) * bm.bmWidthBytes);
        std::copy(line, line + bm.bmWidth, out->bgra.begin() + static_cast<size_t>(y) * bm.bmWidth);
    }
    return true;
}

// Straight alpha to premultiplied, as a blend with source alpha wants it.
void Premultiplied(uint32_t pixel, float* channels) {
    const float a = static_cast<float>(pixel >> 24);
    for (int c = 0; c < 3; ++c) channels[c] = static_cast<float>((pixel >> (8 * c)) & 0xFF) * a / 255.0f;
    channels[3] = a;
}

// The cell at index of the strip as a size x size premultiplied bitmap;
// a cell of another size is scaled (bilinear, on premultiplied values).
HBITMAP CellImage(const Pixels& strip, int index, int cell, int size) {
    void* bits = nullptr;
    HBITMAP image = corva::ui::CreateTopDownDib(size, size, &bits);
    if (!image) return nullptr;
    auto* out = static_cast<uint32_t*>(bits);
    const int left = index * cell;
    const float scale = static_cast<float>(cell) / static_cast<float>(size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            float sum[4] = {};
            if (cell == size) {
                Premultiplied(strip.At(left + x, y), sum);
            } else {
                const float sx = std::clamp((x + 0.5f) * scale - 0.5f, 0.0f, cell - 1.0f);
                const float sy = std::clamp((y + 0.5f) * scale - 0.5f, 0.0f, cell - 1.0f);
                const int x0 = static_cast<int>(sx), y0 = static_cast<int>(sy);
                const int x1 = std::min(x0 + 1, cell - 1), y1 = std::min(y0 + 1, cell - 1);
                const float fx = sx - x0, fy = sy - y0;
                const struct {
                    int x, y;
                    float weight;
                } taps[] = {{x0, y0, (1 - fx) * (1 - fy)}, {x1, y0, fx * (1 - fy)}, {x0, y1, (1 - fx) * fy},
                            {x1, y1, fx * fy}};
                for (const auto& tap : taps) {
                    float c[4];
                    Premultiplied(strip.At(left + tap.x, tap.y), c);
                    for (int i = 0; i < 4; ++i) sum[i] += c[i] * tap.weight;
                }
            }
            uint32_t pixel = 0;
            for (int i = 0; i < 4; ++i) {
                pixel |= static_cast<uint32_t>(std::lround(std::clamp(sum[i], 0.0f, 255.0f))) << (8 * i);
            }
            out[static_cast<size_t>(y) * size + x] = pixel;
        }
    }
    ::GdiFlush();
    return image;
}

}  // namespace

void MenuImages::Attach(HMENU menu, const std::vector<int>& commands, HBITMAP smallStrip, HBITMAP largeStrip,
                        int dpi) {
    size_ = ::MulDiv(16, dpi, 96);
    gap_ = ::MulDiv(4, dpi, 96);
    Pixels strip;
    int cell = 24;
    // The 24-pixel drawing from 24 pixels up; the 16-pixel one below.
    if (size_ < 24 || !ReadStrip(largeStrip, &strip)) {
        cell = 16;
        if (!ReadStrip(smallStrip, &strip)) return;
    }
    int index = 0;
    for (int command : commands) {
        if (command == 0) continue;
        const int at = index++;
        if ((at + 1) * cell > strip.width || cell > strip.height) break;
        HBITMAP image = CellImage(strip, at, cell, size_);
        if (!image) continue;
        images_.push_back(Image{command, win::UniqueBitmap(image)});
        MENUITEMINFOW item{sizeof item};
        item.fMask = MIIM_BITMAP;
        item.hbmpItem = HBMMENU_CALLBACK;
        ::SetMenuItemInfoW(menu, static_cast<UINT>(command), FALSE, &item);
    }
}

HBITMAP MenuImages::ImageOf(int command) const {
    for (const Image& image : images_) {
        if (image.command == command) return image.bitmap.Get();
    }
    return nullptr;
}

bool MenuImages::Measure(MEASUREITEMSTRUCT& item) const {
    if (item.CtlType != ODT_MENU || !ImageOf(static_cast<int>(item.itemID))) return false;
    // A little room on either side, so that the text does not touch it.
    item.itemWidth = static_cast<UINT>(size_ + gap_);
    item.itemHeight = static_cast<UINT>(size_);
    return true;
}

bool MenuImages::Draw(const DRAWITEMSTRUCT& item) const {
    if (item.CtlType != ODT_MENU) return false;
    HBITMAP image = ImageOf(static_cast<int>(item.itemID));
    if (!image) return false;
    HDC memory = ::CreateCompatibleDC(item.hDC);
    if (!memory) return true;
    HGDIOBJ old = ::SelectObject(memory, image);
    const RECT& r = item.rcItem;
    const int x = r.left + (r.right - r.left - size_) / 2;
    const int y = r.top + (r.bottom - r.top - size_) / 2;
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ::GdiAlphaBlend(item.hDC, x, y, size_, size_, memory, 0, 0, size_, size_, blend);
    ::SelectObject(memory, old);
    ::DeleteDC(memory);
    return true;
}

}  // namespace corva::desktop
