#include "MenuBitmaps.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "Module.h"
#include "ShellResourceIds.h"
#include "ui/Dib.h"

namespace corva::shell {

namespace {

constexpr int kArt[][2] = {{IDB_MENU_CORVASTINE, IDB_MENU_CORVASTINE_24},
                             {IDB_MENU_LOCK, IDB_MENU_LOCK_24},
                             {IDB_MENU_UNLOCK, IDB_MENU_UNLOCK_24},
                             {IDB_MENU_SHRED, IDB_MENU_SHRED_24}};

// One size of a picture: BGRA, top row first, colours premultiplied.
struct Art {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
};

bool ReadArt(HMODULE module, int resourceId, Art* art) {
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(resourceId), MAKEINTRESOURCEW(2) /* RT_BITMAP */);
    if (!found) return false;
    HGLOBAL loaded = ::LoadResource(module, found);
    const DWORD size = ::SizeofResource(module, found);
    const auto* bytes = loaded ? static_cast<const uint8_t*>(::LockResource(loaded)) : nullptr;
    if (!bytes || size < sizeof(BITMAPINFOHEADER)) return false;
    BITMAPINFOHEADER header;
    std::copy(bytes, bytes + sizeof header, reinterpret_cast<uint8_t*>(&header));
    if (header.biSize < sizeof header || header.biBitCount != 32 || header.biCompression != BI_RGB ||
        header.biWidth <= 0 || header.biWidth > 256 || header.biHeight == 0 || header.biHeight > 256 ||
        header.biHeight < -256) {
        return false;
    }
    const int w = header.biWidth;
    const int h = header.biHeight > 0 ? header.biHeight : -header.biHeight;
    const bool bottomUp = header.biHeight > 0;
    const size_t pixelBytes = static_cast<size_t>(w) * h * 4;
    if (size < header.biSize || size - header.biSize < pixelBytes) return false;
    const uint8_t* source = bytes + header.biSize;
    art->width = w;
    art->height = h;
    art->pixels.resize(pixelBytes);
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = source + static_cast<size_t>(bottomUp ? h - 1 - y : y) * w * 4;
        uint8_t* out = art->pixels.data() + static_cast<size_t>(y) * w * 4;
        for (int x = 0; x < w * 4; x += 4) {
            const unsigned alpha = row[x + 3];
            for (int c = 0; c < 3; ++c) out[x + c] = static_cast<uint8_t>((row[x + c] * alpha + 127) / 255);
            out[x + 3] = static_cast<uint8_t>(alpha);
        }
    }
    return true;
}

// The art pixels one target pixel covers along one axis, with the share of
// each (the shares add up to 1).
struct Span {
    int first = 0;
    std::vector<double> shares;
};

std::vector<Span> Spans(int sourceSize, int targetSize) {
    std::vector<Span> spans(static_cast<size_t>(targetSize));
    const double step = static_cast<double>(sourceSize) / targetSize;
    for (int t = 0; t < targetSize; ++t) {
        const double from = t * step;
        const double to = std::min(static_cast<double>(sourceSize), (t + 1) * step);
        Span& span = spans[static_cast<size_t>(t)];
        span.first = std::min(sourceSize - 1, static_cast<int>(std::floor(from)));
        for (int s = span.first; s < sourceSize && s < to; ++s) {
            const double cover = std::min(to, s + 1.0) - std::max(from, static_cast<double>(s));
            span.shares.push_back(cover > 0 ? cover / (to - from) : 0.0);
        }
        if (span.shares.empty()) span.shares.push_back(1.0);
    }
    return spans;
}

HBITMAP MakeBitmap(const Art& art, int width, int height) {
    void* bits = nullptr;
    HBITMAP result = corva::ui::CreateTopDownDib(width, height, &bits);
    if (!result) return nullptr;
    auto* out = static_cast<uint8_t*>(bits);
    if (art.width == width && art.height == height) {
        std::copy(art.pixels.begin(), art.pixels.end(), out);
        return result;
    }
    // Premultiplied colours average without dark fringes at the edges.
    const std::vector<Span> columns = Spans(art.width, width);
    const std::vector<Span> rows = Spans(art.height, height);
    for (int ty = 0; ty < height; ++ty) {
        const Span& row = rows[static_cast<size_t>(ty)];
        for (int tx = 0; tx < width; ++tx) {
            const Span& column = columns[static_cast<size_t>(tx)];
            double sum[4] = {0, 0, 0, 0};
            for (size_t j = 0; j < row.shares.size(); ++j) {
                const uint8_t* line = art.pixels.data() + static_cast<size_t>(row.first + static_cast<int>(j)) * art.width * 4;
                for (size_t i = 0; i < column.shares.size(); ++i) {
                    const double share = row.shares[j] * column.shares[i];
                    const uint8_t* p = line + static_cast<size_t>(column.first + static_cast<int>(i)) * 4;
                    for (int c = 0; c < 4; ++c) sum[c] += p[c] * share;
                }
            }
            uint8_t* q = out + (static_cast<size_t>(ty) * width + tx) * 4;
            for (int c = 0; c < 4; ++c) q[c] = static_cast<uint8_t>(std::min(255.0, std::floor(sum[c] + 0.5)));
        }
    }
    return result;
}

}  // namespace

MenuBitmaps::~MenuBitmaps() {
    for (HBITMAP& b : bitmaps_) {
        if (b) ::DeleteObject(b);
        b = nullptr;
    }
}

void MenuBitmaps::Load() {
    // The size of the small icons that sit beside menu texts, in the
    // caller's DPI (a DPI-aware shell gets the art for its DPI).
    const int width = ::GetSystemMetrics(SM_CXSMICON);
    const int height = ::GetSystemMetrics(SM_CYSMICON);
    for (int i = 0; i < kCount; ++i) {
        if (!bitmaps_[i]) bitmaps_[i] = LoadMenuBitmap(ModuleHandle(), MenuArt{kArt[i], 2}, width, height);
    }
}

HBITMAP MenuBitmaps::Get(int resourceId) const {
    int i = resourceId - kFirst;
    return i >= 0 && i < kCount ? bitmaps_[i] : nullptr;
}

HBITMAP LoadMenuBitmap(HMODULE module, const MenuArt& art, int width, int height) {
    if (width <= 0 || height <= 0 || width > 1024 || height > 1024) return nullptr;
    auto exact = [&](const Art& a) { return a.width == width && a.height == height; };
    auto covers = [&](const Art& a) { return a.width >= width && a.height >= height; };
    auto area = [](const Art& a) { return a.width * a.height; };
    // The exact size first, then the smallest that covers the size, then
    // (nothing covers it) the largest.
    auto better = [&](const Art& a, const Art& b) {
        if (exact(a) != exact(b)) return exact(a);
        if (covers(a) != covers(b)) return covers(a);
        return covers(a) ? area(a) < area(b) : area(a) > area(b);
    };
    Art chosen, candidate;
    for (int i = 0; i < art.count; ++i) {
        if (!ReadArt(module, art.resourceIds[i], &candidate)) continue;
        if (chosen.pixels.empty() || better(candidate, chosen)) std::swap(chosen, candidate);
    }
    return chosen.pixels.empty() ? nullptr : MakeBitmap(chosen, width, height);
}

}  // namespace corva::shell
