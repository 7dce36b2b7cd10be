// The images beside the menu items (Lock, Unlock, Shred, Change Password,
// Forgot Password): cells of a 32-bit image strip with alpha, drawn at
// 16 x 16 pixels at 96 dots per inch and 24 x 24 at 144 from strips drawn
// at those sizes (other sizes are scaled from the nearer one). The menu
// items only name a callback image; the owner window measures and draws
// them itself through Measure and Draw, blending them over the menu's own
// background, so that no key colour or dark square shows round them, and a
// highlighted item shows its image as it is. A strip that cannot be read
// leaves the items without images; nothing fails loudly.
#pragma once

#include <windows.h>

#include <vector>

#include "platform/WinHandles.h"

namespace corva::desktop {

class MenuImages {
public:
    MenuImages() = default;
    MenuImages(const MenuImages&) = delete;
    MenuImages& operator=(const MenuImages&) = delete;

    // Gives the items of menu (and its popups) the images of the strips
    // smallStrip (16-pixel cells) and largeStrip (24-pixel cells), in the
    // order of commands (0 entries skipped, their image unused), sized for
    // dpi. The strips are the caller's.
    void Attach(HMENU menu, const std::vector<int>& commands, HBITMAP smallStrip, HBITMAP largeStrip, int dpi);

    // WM_MEASUREITEM and WM_DRAWITEM of a menu item; true when the item is
    // one of these images.
    bool Measure(MEASUREITEMSTRUCT& item) const;
    bool Draw(const DRAWITEMSTRUCT& item) const;

    // The image of a command: a 32-bit bitmap with premultiplied alpha, or
    // null.
    HBITMAP ImageOf(int command) const;

private:
    struct Image {
        int command;
        win::UniqueBitmap bitmap;
    };
    std::vector<Image> images_;
    int size_ = 16;
    int gap_ = 4;
};

}  // namespace corva::desktop
