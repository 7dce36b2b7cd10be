// Real keyboard and mouse input for the desktop program's tests: keys and
// pointer events go through SendInput into the system's input queue, as a
// user's would, to whichever window has the focus or lies under the
// pointer. Each function waits for what it can observe (the foreground
// window, the pointer position) instead of sleeping. And what the screen
// shows of a window, compared with what the window paints when asked to
// paint itself again, for views that leave parts of an old picture behind.
#pragma once

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace desktoptest {

// Brings a top-level window to the foreground; true when it got there.
bool BringToFront(HWND window);

// Presses the keys in order and releases them in reverse (a chord such as
// {VK_CONTROL, 'L'}).
void PressKeys(std::initializer_list<WORD> keys);
// Presses the keys and waits for done. Under load Wine now and then drops
// a key on its way to the window; a press that shows no effect for 15 s
// is taken as lost and made once more (said on stderr), and the wait goes
// on. A press that was only slow would then act twice, which done is
// expected to notice if it matters.
bool PressKeysUntil(std::initializer_list<WORD> keys, const std::function<bool()>& done);
// Types text as Unicode key events.
void TypeKeys(const std::wstring& text);

// Moves the pointer to a screen point; true when it is there.
bool MovePointer(POINT screen);
// The left button pressed or released at a screen point (the event
// carries the point).
void LeftDown(POINT screen);
void LeftUp(POINT screen);
// Moves, presses and releases the left button.
bool ClickAt(POINT screen);
// Two clicks in quick succession at one point.
bool DoubleClickAt(POINT screen);
// Moves, presses and releases the right button.
bool RightClickAt(POINT screen);
// Presses at from, moves to to in a few steps, releases there.
bool DragFromTo(POINT from, POINT to);

// The centre of a window on the screen.
POINT CentreOf(HWND window);

// The pixels the screen shows in a rectangle now (BGRA, top row first),
// without asking any window to paint; taken until two pictures agree.
std::vector<unsigned char> ScreenPixels(const RECT& screen);
// Whether what a window shows now equals what it paints when all of it is
// painted again: false when parts of an earlier picture are left on it.
// Saves what it showed first as name.png among the screenshots.
bool ShowsWhatItPaints(HWND window, const std::wstring& name);

}  // namespace desktoptest
