// A harness that drives real Windows dialogs from a test: find windows by
// caption, class, thread or process, wait for them with time limits, type
// into controls, press buttons, read texts, answer message boxes, check the
// focus, pick list entries, step through wizards, save screenshots and
// check layouts for clipped text and overlapping controls.
//
// Everything works on windows of another thread of the test program (the
// usual case: the dialog runs modally on a UiThread) and, except where
// noted, on windows of another process (ChildProcess): the harness only
// posts and sends messages the system carries across processes. Waiting is
// polling with a time limit; no fixed sleep decides a test.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace uitest {

using Millis = std::chrono::milliseconds;
// A limit for waits that are expected to succeed, so it costs nothing when
// they do: generous enough for a cold Wine start on a loaded 2-core machine.
constexpr Millis kDefaultTimeout{30000};

// ------------------------------------------------------------ waiting
// Polls condition until it holds or the time is up; true when it held.
bool WaitUntil(const std::function<bool()>& condition, Millis timeout = kDefaultTimeout);

// ------------------------------------------------------------ finding
// Where windows are looked for.
class Scope {
public:
    static Scope Thread(DWORD threadId) { return Scope(Kind::Thread, threadId); }
    static Scope Process(DWORD processId) { return Scope(Kind::Process, processId); }
    static Scope Anywhere() { return Scope(Kind::Anywhere, 0); }
    bool Contains(HWND window) const;

private:
    enum class Kind { Thread, Process, Anywhere };
    Scope(Kind kind, DWORD id) : kind_(kind), id_(id) {}
    Kind kind_;
    DWORD id_;
};

struct WindowQuery {
    Scope scope = Scope::Anywhere();
    std::optional<std::wstring> caption;    // exact title
    std::optional<std::wstring> className;  // exact class name, e.g. L"#32770"
    bool visibleOnly = true;
    std::function<bool(HWND)> filter;       // further test, may be empty

    static WindowQuery Dialog(Scope scope, const std::wstring& caption);
};

// Top-level windows matching the query, in z-order.
std::vector<HWND> FindWindows(const WindowQuery& query);
HWND FindWindowOnce(const WindowQuery& query);
HWND WaitForWindow(const WindowQuery& query, Millis timeout = kDefaultTimeout);
// True when the window was destroyed (or hidden) within the time.
bool WaitForWindowGone(HWND window, Millis timeout = kDefaultTimeout);

// ------------------------------------------------------------ reading
std::wstring ClassNameOf(HWND window);
std::wstring WindowText(HWND window);
std::wstring ControlText(HWND dialog, int controlId);
bool ControlExists(HWND dialog, int controlId);
bool IsControlEnabled(HWND dialog, int controlId);
bool IsControlVisible(HWND dialog, int controlId);
// Size of the client area in pixels.
SIZE ClientSize(HWND window);
// The control's rectangle in its parent's client coordinates.
RECT ControlRect(HWND dialog, int controlId);

// ------------------------------------------------------------ focus
// The window holding the keyboard focus on the thread that owns window.
HWND FocusedWindow(HWND window);
// Id of the focused control when it lies inside container, else 0.
int FocusedControlId(HWND container);
// Moves the focus to a control as the user would (Tab or a click) and
// waits until it is there.
bool FocusControl(HWND dialog, int controlId);

// ------------------------------------------------------------ input
// Replaces a control's text at once (WM_SETTEXT; length limits of the
// control do not apply).
bool SetControlText(HWND dialog, int controlId, const std::wstring& text);
// Focuses a field and types the text character by character (WM_CHAR), so
// the field's own limits and filters apply.
bool TypeText(HWND dialog, int controlId, const std::wstring& text);
// Presses a push button: focus moves to it and the dialog gets BN_CLICKED.
// Waits up to 10 s for the button to be shown and enabled (a new page may
// enable its buttons a moment after it appears); false, and nothing sent,
// when it stays missing, hidden or disabled.
bool ClickButton(HWND dialog, int controlId);
// Sends Escape to the focused control of the dialog's thread, as a keypress.
bool PressEscape(HWND dialog);
// Asks a window to close, as its close box does.
void RequestClose(HWND window);

// ------------------------------------------------------------ keyboard
// Real key presses (SendInput), as a user's keyboard makes them, going to
// whatever holds the focus, through the dialog manager (Tab, Enter, Escape,
// Space on buttons). The input is queued when these return; wait for its
// effect. False when the input was not taken.
//
// With a window: its top-level window is brought to the foreground first;
// it must be enabled (a dialog whose modal child is still closing is waited
// for). False too when it could not be brought there in time.
// Without one: the keys go where the focus is now, with nothing brought
// forward (a menu that is open, a window the test has put in front).
//
// Brings a window's top-level window to the foreground; true when it got
// there in time.
bool BringToForeground(HWND window);
bool PressKey(HWND window, WORD virtualKey);
// Keys held down together, pressed in order and released in reverse
// (e.g. {VK_SHIFT, VK_TAB}).
bool PressKeys(HWND window, std::initializer_list<WORD> chord);
bool PressKeys(std::initializer_list<WORD> chord);
// Types characters as keyboard input (VK_PACKET), whatever the layout.
bool TypeKeys(HWND window, const std::wstring& text);
bool TypeKeys(const std::wstring& text);
// Presses the keys (where the focus is now) and waits for done. Under load
// Wine now and then drops a key on its way to the window: a press that
// shows no effect for 15 s is taken as lost and made once more (said on
// stderr), and the wait goes on. A press that was only slow would then act
// twice, which done is expected to notice where it matters.
bool PressKeysUntil(std::initializer_list<WORD> chord, const std::function<bool()>& done,
                    Millis timeout = kDefaultTimeout);
// Presses Tab (or Shift+Tab) until the control has the focus, waiting for
// the focus to move after each press; at most `most` presses.
bool TabToControl(HWND dialog, int controlId, bool backwards = false, int most = 12);
// The edit control's whole (non-empty) text is selected.
bool EditSelectionIsWholeText(HWND dialog, int controlId);

// ------------------------------------------------------------ editors
// The text of a window's edit box (its first Edit child), asked with
// WM_GETTEXT, which GetWindowText does not send to another process.
std::wstring EditBoxText(HWND editor);
// Types text at the end of an editor's text (Ctrl+End, then the keys) and
// waits until its edit box shows it.
bool TypeAtEnd(HWND editor, const std::wstring& typed);
// Saves with Ctrl+S (pressed again as PressKeysUntil does) and waits until
// the file has savedSize bytes. The file is looked at by its attributes
// only: notepad saves without sharing, so a reader that held the file open
// at that moment would make the save fail.
bool SaveByKeys(HWND editor, const std::wstring& path, std::uint64_t savedSize);

// ------------------------------------------------------------ pointer
// Real mouse input (SendInput) at screen points. Every button event carries
// its own position: Wine turns the X server's report of each pointer move
// into a move of its own, and one read late by a busy window thread puts
// the pointer back where it was a moment ago, so a button event without a
// position could land on that old spot. A point is turned into SendInput's
// absolute units one way only, the way that lands on the very pixel.
//
// The centre of a window, or of a rectangle, on the screen.
POINT CentreOf(HWND window);
POINT CentreOf(const RECT& screen);
// Moves the pointer to a screen point and waits until it is there; false
// (said on stderr) when it does not get there within 3 s.
bool MovePointer(POINT screen);
// Moves the pointer from where it is to a point in even steps, each given
// a moment to reach the window under it, so that a drag loop or a drop
// target sees the positions in between; then as MovePointer.
bool MovePointerAlong(POINT screen, int steps);
// The left button pressed or released at a screen point.
void LeftDown(POINT screen);
void LeftUp(POINT screen);
// Moves there, then presses and releases the left button.
bool ClickAt(POINT screen);
// Two clicks in quick succession at one point.
bool DoubleClickAt(POINT screen);
// Moves there, then presses and releases the right button.
bool RightClickAt(POINT screen);
// Presses at from, moves to to in a few steps, releases there.
bool DragFromTo(POINT from, POINT to);
// Brings the window to the foreground, clicks at where() and waits for
// done. Under a loaded Wine a click is now and then lost on its way: after
// 10 s without the effect the click is made again (said on stderr), long
// after any double-click time and 16 pixels to the right, so that it is no
// double click; three clicks at the most. where() is asked anew each time.
bool ClickUntil(HWND window, const std::function<POINT()>& where, const std::function<bool()>& done);
// Brings the dialog to the foreground and clicks the middle of a control,
// as a user clicks a button; false when there is no such control or the
// pointer did not get there.
bool ClickControl(HWND dialog, int controlId);
// Brings the dialog to the foreground and, when the field does not hold the
// focus, clicks into it; true once the field has the focus.
bool ClickIntoField(HWND dialog, int controlId);

// ------------------------------------------------------------ menus
// The position of the highlighted item of a shown menu, or -1.
int HighlightedMenuItem(HMENU menu);
// Points at the item of a shown menu until the menu highlights it (a menu
// that has just opened may miss the first move; nudge shifts the point to
// the right, so a repeated attempt is a real move). True when highlighted.
bool PointAtMenuItem(HMENU menu, UINT position, int nudge = 0);
// Chooses an item of a shown menu with the mouse, as a user does: points
// at it until the menu highlights it, then presses and releases there.
// (Not by keys: a menu opens under the pointer, and a pointer report read
// late moves the highlight, so a walk by Down presses can take that move
// for its own and overshoot when the press lands.) done tells when the
// click has had its effect; while it has not within effectTimeout, and the
// item is still shown, the item is pointed at and clicked again (at most
// five times). On failure the screen is saved as "failed-menu-click".
bool ClickMenuItem(HMENU menu, UINT position, const std::function<bool()>& done,
                   Millis effectTimeout = Millis(10000));
// Opens a menu of the window's menu bar with Alt and its letter, and waits
// for the menu (a #32768 window of scope). A press made while the focus is
// still on its way back from a closed window can be lost: the window is
// brought forward and the keys pressed again (three tries, 10 s each). The
// menu's window, or null.
HWND OpenMenuByKeys(HWND window, Scope scope, WORD menuLetter);
// Chooses an item of the shown menu by its letter (as PressKeysUntil);
// true once the menu is gone.
bool ChooseMenuLetter(HWND popup, WORD itemLetter);

// ------------------------------------------------------------ lists
std::vector<std::wstring> ComboItems(HWND dialog, int controlId);
std::wstring ComboSelection(HWND dialog, int controlId);
// Selects the entry with exactly this text and tells the dialog, as a
// choice with the mouse does. False when there is no such entry.
bool SelectComboItem(HWND dialog, int controlId, const std::wstring& text);

// ------------------------------------------------------------ wizards
enum class WizardButton { Back, Next, Finish, Cancel };
struct WizardButtonStates {
    bool back = false, next = false, finish = false, cancel = false;  // visible and enabled
};
HWND CurrentPage(HWND sheet);
WizardButtonStates WizardButtons(HWND sheet);
// Presses a wizard button, as ClickButton; false when it is not available.
bool PressWizardButton(HWND sheet, WizardButton button);
// Waits until the sheet shows a page other than previous. Returns the page
// shown then (previous when it did not change in time), null when the sheet
// is gone.
HWND WaitForPageChange(HWND sheet, HWND previous, Millis timeout = kDefaultTimeout);

// ------------------------------------------------------------ message boxes
enum class MessageIcon { None, Information, Warning, Error, Question, Unknown };
const char* ToString(MessageIcon icon);

struct MessageBoxInfo {
    HWND window = nullptr;
    HWND owner = nullptr;
    std::wstring caption;
    std::wstring text;
    // Recognised by comparing the icon with the system's; Unknown when it
    // cannot be compared (another process under Wine).
    MessageIcon icon = MessageIcon::None;
    std::vector<std::wstring> buttons;  // texts, in z-order
};

// A message box is a top-level dialog window of the scope that holds a
// static text with id 0xFFFF and only statics and buttons.
std::optional<MessageBoxInfo> FindMessageBox(Scope scope);
std::optional<MessageBoxInfo> WaitForMessageBox(Scope scope, Millis timeout = kDefaultTimeout);
// Presses a button of the message box (IDOK by default) and waits until the
// box is gone.
bool AnswerMessageBox(const MessageBoxInfo& box, int buttonId = IDOK);
// A box's text with the line that stands for whole put back as asLine. A
// line stands for whole when it is whole's head, "..." and whole's tail
// (each part kept at least five characters of head and one of tail), as a
// summary shortens a folder line in its middle to fit its box; asLine
// itself stands too. The text comes back as it was when no line does.
std::wstring WithLineRestored(const std::wstring& text, const std::wstring& whole, const std::wstring& asLine);

// ------------------------------------------------------------ pictures
// Folder for screenshots: CORVA_SCREENSHOT_DIR (a POSIX path is mapped to
// Wine's Z: drive), else "screenshots" in the current folder; created on
// demand.
std::wstring ScreenshotDir();
// Saves what the window shows on the screen as name + ".png" in
// ScreenshotDir(); repaints the window first. (Under Wine the frame and
// title bar are in the picture when Wine draws them itself, as it does in
// the prefix run-ui-test.sh prepares.) Returns the file's path, or empty on
// failure.
std::wstring SaveScreenshot(HWND window, const std::wstring& name);
// The pixels the screen shows for a window (BGRA, top row first).
bool CaptureWindow(HWND window, int* width, int* height, std::vector<unsigned char>* bgra);
// Writes 32-bit BGRA pixels (top row first) as a PNG file.
bool WritePng(const std::wstring& path, int width, int height, const std::vector<unsigned char>& bgra);
// The pixels the screen shows in a rectangle now (BGRA, top row first),
// without asking any window to paint; taken until two pictures agree.
std::vector<unsigned char> ScreenPixels(const RECT& screen);
// Whether what a window shows now equals what it paints when all of it is
// painted again: false when parts of an earlier picture are left on it.
// Saves what it showed first as name.png among the screenshots (and, when
// they differ, the repainted picture as name-painted-again.png).
bool ShowsWhatItPaints(HWND window, const std::wstring& name);

// ------------------------------------------------------------ layout
// Texts that do not fit their controls, controls overlapping a sibling, and
// controls reaching outside their parent, for every visible control under
// window. In-process only (it measures with the controls' fonts).
std::vector<std::wstring> LayoutProblems(HWND window);

// ------------------------------------------------------------ running
// Runs a body (typically one modal dialog) on a thread of its own, so that
// the test thread can drive it. At destruction any window the thread still
// has is cancelled and the thread joined.
class UiThread {
public:
    explicit UiThread(std::function<INT_PTR()> body);
    ~UiThread();
    UiThread(const UiThread&) = delete;
    UiThread& operator=(const UiThread&) = delete;

    DWORD ThreadId() const { return threadId_; }
    Scope GetScope() const { return Scope::Thread(threadId_); }
    bool Done() const;
    // Waits for the body to return; true when it did in time.
    bool WaitDone(Millis timeout = kDefaultTimeout);
    // The body's result; valid once Done().
    INT_PTR Result() const { return result_; }

private:
    static DWORD WINAPI Main(LPVOID self);
    std::function<INT_PTR()> body_;
    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    std::atomic<bool> done_{false};
    INT_PTR result_ = 0;
};

// A program started for a test, ended at destruction if still running.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Start(const std::wstring& program, const std::wstring& arguments);
    DWORD ProcessId() const { return processId_; }
    Scope GetScope() const { return Scope::Process(processId_); }
    // Waits for the program to end; its exit code, or nothing on time-out.
    std::optional<DWORD> WaitExit(Millis timeout = kDefaultTimeout);

private:
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
};

// Ends the program that owns a window and waits for it to go: for a program
// the test started through the shell (notepad showing a file) that a failed
// step left open, which would otherwise keep the run from ending. A window
// of this process is left alone.
void EndProgramOfWindow(HWND window);

// Full path of a file beside the running test program.
std::wstring BesideProgram(const std::wstring& name);

}  // namespace uitest
