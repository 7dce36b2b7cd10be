// The four menu bitmaps (203 submenu item, 204 Lock, 205 Unlock, 206 Shred),
// loaded from the library's resources and made ready for a menu's check-
// mark area: scaled to the system's check-mark size and laid over the menu
// colour. Owned: deleted with the object.
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

// A 32-bit bitmap resource with alpha, resampled to width x height and laid
// over background; null when the resource is missing or not 32-bit.
HBITMAP LoadMenuBitmap(HMODULE module, int resourceId, int width, int height, COLORREF background);

}  // namespace corva::shell
