// The four menu bitmaps (203 submenu item, 204 Lock, 205 Unlock, 206 Shred)
// as the items' own bitmaps: 32-bit DIB sections with premultiplied alpha,
// which menus blend onto whatever lies below (the menu colour, or the
// highlight of the selected row). Each is drawn at the system's small-icon
// size from the art made for that size (16 x 16, and 24 x 24 for 144 DPI),
// else averaged down from the next larger art. Owned: deleted with the
// object; a missing or damaged resource leaves its item without a bitmap.
#pragma once

#include <windows.h>

namespace corva::shell {

class MenuBitmaps {
public:
    MenuBitmaps() = default;
    ~MenuBitmaps();
    MenuBitmaps(const MenuBitmaps&) = delete;
    MenuBitmaps& operator=(const MenuBitmaps&) = delete;

    // Loads every bitmap not loaded yet.
    void Load();
    // The bitmap for a resource number (203 to 206); null when missing.
    HBITMAP Get(int resourceId) const;

private:
    static constexpr int kFirst = 203;
    static constexpr int kCount = 4;
    HBITMAP bitmaps_[kCount] = {};
};

// The art of one menu bitmap: resource numbers of the same picture drawn at
// different sizes (32-bit bitmaps with straight alpha), smallest first.
struct MenuArt {
    const int* resourceIds;
    int count;
};

// A width x height 32-bit DIB section with premultiplied alpha, from the
// art of that size, else from the smallest larger one (else the largest),
// each target pixel the average of the art pixels it covers. Null when no
// usable resource is found or the size is not positive.
HBITMAP LoadMenuBitmap(HMODULE module, const MenuArt& art, int width, int height);

}  // namespace corva::shell
