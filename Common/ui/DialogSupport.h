// Small helpers every common dialog uses: the module holding the dialog
// resources, the application icon, message boxes, focus and field limits.
#pragma once

#include <windows.h>

#include <cstddef>
#include <initializer_list>
#include <string>

namespace corva::ui {

// Characters read from a text field (a 1024-character buffer).
constexpr size_t kFieldChars = 1023;

// The module (program or library) this code is linked into; it carries the
// dialog resources.
HINSTANCE ResourceModule();

// Registers the common-control classes the dialogs use (once per process).
void EnsureCommonControls();

// Gives a window the application icon, large and small.
void SetDialogIcons(HWND window);

// A modal message box with one OK button and the information icon.
void ShowInfoMessage(HWND owner, const wchar_t* text, const wchar_t* caption);

// Moves the keyboard focus to a control of a dialog or wizard page, as Tab
// does: the text of an edit field is selected.
void FocusControl(HWND dialog, int controlId);

// Caps what the user can type into edit controls at kFieldChars, so that
// what is typed is exactly what is read.
void LimitFieldLength(HWND dialog, std::initializer_list<int> controlIds);

// A length in pixels at 96 dots per inch, scaled to the window's display.
int ScaleForDpi(HWND window, int pixelsAt96);

// Centres a window on another (or on the work area when there is none).
void CenterOnWindow(HWND window, HWND over);

// The width in pixels of one line of text in a control's font: its
// advance, and with ink the part of its last letter that reaches past it.
int TextWidth(HWND control, const std::wstring& text, bool ink = false);

// The text shortened in its middle by the system's path ellipsis
// ("C:" "\...\" "ports\a.txt") to fit width pixels in the control's font;
// the control draws the result as it is.
std::wstring FitPathToWidth(HWND control, const std::wstring& path, int width);

}  // namespace corva::ui
