// The 32-bit bitmaps the programs draw their pictures into: top row first,
// four bytes a pixel (blue, green, red, alpha), written through the bits
// pointer and ready for AlphaBlend or a menu item.
#pragma once

#include <windows.h>

namespace corva::ui {

// A width x height bitmap compatible with the screen; *bits receives its
// pixels (initially zero). nullptr (and *bits nullptr) when it could not
// be made: nothing is left to free then.
HBITMAP CreateTopDownDib(int width, int height, void** bits);

}  // namespace corva::ui
