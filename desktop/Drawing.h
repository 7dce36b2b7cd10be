// Drawing helpers shared by the main window's pieces: fonts by point size
// for a window's display, and strips or pictures stretched over rectangles.
// A missing bitmap leaves the area as it was; nothing fails loudly.
#pragma once

#include <windows.h>

#include "platform/WinHandles.h"

namespace corva::desktop {

// The dots per inch of the display a window is on.
int WindowDpi(HWND window);

// A font of the given face and point size for the window's display.
win::UniqueFont MakePointFont(HWND window, int points, const wchar_t* face, bool bold = false,
                              bool underline = false);

// Stretches a whole bitmap over dest.
void StretchBitmap(HDC dc, const RECT& dest, HBITMAP bitmap);

// Draws a bitmap at dest's top-left corner at its own size; where dest is
// wider, the bitmap's last column is stretched over the rest, and where it
// is taller, its last row.
void DrawPictureExtended(HDC dc, const RECT& dest, HBITMAP bitmap);

// A bitmap scaled by dpi / 96. The source is given up: the result is the
// source itself when no scaling is needed or possible.
HBITMAP ScaledBitmap(HBITMAP source, int dpi);

// Loads a bitmap resource of the program (null when missing).
HBITMAP LoadProgramBitmap(int id);

}  // namespace corva::desktop
