#include "MenuBitmaps.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "Module.h"

namespace corva::shell {

MenuBitmaps::~MenuBitmaps() {
    for (HBITMAP& b : bitmaps_) {
        if (b) ::DeleteObject(b);
        b = nullptr;
    }
}

void MenuBitmaps::Load() {
    const int width = ::GetSystemMetrics(SM_CXMENUCHECK);
    const int height = ::GetSystemMetrics(SM_CYMENUCHECK);
    const COLORREF background = ::GetSysColor(COLOR_MENU);
    for (int i = 0; i < kCount; ++i) {
        if (!bitmaps_[i]) bitmaps_[i] = LoadMenuBitmap(ModuleHandle(), kFirst + i, width, height, background);
    }
}

HBITMAP MenuBitmaps::Get(int resourceId) const {
    int i = resourceId - kFirst;
    return i >= 0 && i < kCount ? bitmaps_[i] : nullptr;
}

HBITMAP LoadMenuBitmap(HMODULE module, int resourceId, int width, int height, COLORREF background) {
    if (width <= 0 || height <= 0) return nullptr;
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(resourceId), MAKEINTRESOURCEW(2) /* RT_BITMAP */);
    if (!found) return nullptr;
    HGLOBAL loaded = ::LoadResource(module, found);
    const DWORD size = ::SizeofResource(module, found);
    const auto* bytes = loaded ? static_cast<const uint8_t*>(::LockResource(loaded)) : nullptr;
    if (!bytes || size < sizeof(BITMAPINFOHEADER)) return nullptr;
    BITMAPINFOHEADER header;
    std::copy(bytes, bytes + sizeof header, reinterpret_cast<uint8_t*>(&header));
    if (header.biSize < sizeof header || header.biBitCount != 32 || header.biCompression != BI_RGB ||
        header.biWidth <= 0 || header.biHeight == 0 || header.biWidth > 1024 || header.biHeight > 1024 ||
        header.biHeight < -1024) {
        return nullptr;
    }
    const int sw = header.biWidth;
    const int sh = header.biHeight > 0 ? header.biHeight : -header.biHeight;
    const bool bottomUp = header.biHeight > 0;
    const size_t pixelBytes = static_cast<size_t>(sw) * sh * 4;
    if (size < header.biSize + pixelBytes) return nullptr;
    const uint8_t* pixels = bytes + header.biSize;
    auto source = [&](int x, int y) {
        int row = bottomUp ? sh - 1 - y : y;
        return pixels + (static_cast<size_t>(row) * sw + x) * 4;
    };

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP result = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!result || !bits) {
        if (result) ::DeleteObject(result);
        return nullptr;
    }
    auto* out = static_cast<uint8_t*>(bits);
    const double bg[3] = {static_cast<double>(GetBValue(background)), static_cast<double>(GetGValue(background)),
                          static_cast<double>(GetRValue(background))};
    // Area sampling: each target pixel averages the source pixels it covers,
    // weighted by alpha, then lies over the background.
    for (int ty = 0; ty < height; ++ty) {
        const int y0 = ty * sh / height;
        const int y1 = std::max(y0 + 1, (ty + 1) * sh / height);
        for (int tx = 0; tx < width; ++tx) {
            const int x0 = tx * sw / width;
            const int x1 = std::max(x0 + 1, (tx + 1) * sw / width);
            double sum[3] = {0, 0, 0};
            double alpha = 0;
            int n = 0;
            for (int y = y0; y < y1 && y < sh; ++y) {
                for (int x = x0; x < x1 && x < sw; ++x) {
                    const uint8_t* p = source(x, y);
                    const double a = p[3] / 255.0;
                    for (int c = 0; c < 3; ++c) sum[c] += p[c] * a;
                    alpha += a;
                    ++n;
                }
            }
            uint8_t* q = out + (static_cast<size_t>(ty) * width + tx) * 4;
            const double coverage = n ? alpha / n : 0.0;
            for (int c = 0; c < 3; ++c) {
                const double colour = alpha > 0 ? sum[c] / alpha : 0.0;
                const double v = colour * coverage + bg[c] * (1.0 - coverage);
                q[c] = static_cast<uint8_t>(std::min(255.0, std::max(0.0, v + 0.5)));
            }
            q[3] = 255;
        }
    }
    return result;
}

}  // namespace corva::shell
