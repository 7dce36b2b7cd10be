// Base of the program's own windows, top-level and child: registers the
// window class, binds the object to its window at WM_NCCREATE, turns the
// common messages into named handlers, hands everything else to
// DefWindowProcW, and unbinds at WM_NCDESTROY. Nothing thrown inside a
// handler leaves the window procedure: the message then counts as handled
// with result 0 (and creation fails when WM_NCCREATE or WM_CREATE threw).
#pragma once

#include <windows.h>

namespace corva::ui {

// What a window class is made of; the class is registered the first time a
// window of it is created.
struct WindowClass {
    const wchar_t* name = nullptr;
    UINT style = CS_HREDRAW | CS_VREDRAW;
    HICON icon = nullptr;
    HICON smallIcon = nullptr;
    HCURSOR cursor = nullptr;  // the arrow when empty
    HBRUSH background = nullptr;
};

// Where and how a window is created.
struct WindowPlacement {
    DWORD style = WS_OVERLAPPEDWINDOW;
    DWORD exStyle = 0;
    int x = CW_USEDEFAULT, y = CW_USEDEFAULT, width = CW_USEDEFAULT, height = CW_USEDEFAULT;
    HWND parent = nullptr;
    HMENU menu = nullptr;  // the menu of a top-level window, or a child's id
};

// What the left mouse button does over a window (a double click's second
// press counts as a press).
enum class PointerAction { Press, Move, Release };

class Window {
public:
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND Handle() const { return hwnd_; }

    // The object bound to a window created by this class, or null.
    static Window* FromHandle(HWND hwnd);

protected:
    Window() = default;
    // Destroys the window when it still exists. The handlers of a derived
    // class are gone by then: a class that needs them at the end destroys
    // its window in its own destructor.
    virtual ~Window();

    // Registers the class if needed and creates the window bound to this
    // object. False when either fails (the object is then unbound).
    bool Create(const WindowClass& windowClass, const wchar_t* title, const WindowPlacement& placement);

    // Named handlers. A handler that returns false (or is not overridden)
    // lets the message go on to DefaultProcedure.
    // WM_CREATE: false makes creation fail.
    virtual bool OnCreate(const CREATESTRUCTW& /*create*/) { return true; }
    // WM_SIZE, decoded: the new client size of a restored or maximised
    // window, or its minimising.
    virtual void OnResize(int /*width*/, int /*height*/) {}
    virtual void OnMinimize() {}
    // The left button pressed, the mouse moved, the button released, at a
    // point of the client area: true when used.
    virtual bool OnPointer(PointerAction /*action*/, POINT /*client*/) { return false; }
    // WM_CAPTURECHANGED: the window lost the mouse capture.
    virtual void OnCaptureLost() {}
    // WM_SETCURSOR for the mouse over the window's own client area (not a
    // child's): true when a cursor was set.
    virtual bool OnSetCursor(POINT /*client*/) { return false; }
    // WM_SIZING: the window rectangle (screen coordinates) a drag of edge
    // (WMSZ_...) would give; true when the handler changed it.
    virtual bool OnSizing(UINT /*edge*/, RECT& /*rect*/) { return false; }
    // WM_GETMINMAXINFO: true when the handler filled in the limits.
    virtual bool OnMinMaxInfo(MINMAXINFO& /*info*/) { return false; }
    // WM_MENUSELECT: the highlighted item (its command, or for a popup its
    // position) with its MF_ flags; flags 0xFFFF and no menu when the menu
    // closed. True when used.
    virtual bool OnMenuSelect(UINT /*item*/, UINT /*flags*/, HMENU /*menu*/) { return false; }
    // WM_COMMAND: menu items, accelerators, toolbar buttons and controls.
    virtual bool OnCommand(int /*id*/, int /*code*/, HWND /*control*/) { return false; }
    // WM_NOTIFY from a child control; *result is returned when handled.
    virtual bool OnNotify(const NMHDR& /*header*/, LRESULT* /*result*/) { return false; }
    // WM_PAINT: called between BeginPaint and EndPaint.
    virtual void OnPaint(HDC /*dc*/, const PAINTSTRUCT& /*paint*/) {}
    // WM_CLOSE: true when handled (the default destroys the window).
    virtual bool OnClose() { return false; }
    // WM_DESTROY, while the children still exist.
    virtual void OnDestroy() {}
    // WM_NCDESTROY, after the object has been unbound: the last message.
    virtual void OnFinalMessage() {}
    // Any message, before the named handlers: true when handled, with
    // *result the procedure's answer.
    virtual bool OnMessage(UINT /*message*/, WPARAM, LPARAM, LRESULT* /*result*/) { return false; }

    // What the system does with a message nobody handled.
    LRESULT DefaultProcedure(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
};

}  // namespace corva::ui
