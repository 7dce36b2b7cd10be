// The Window base: binding at creation, named handlers, the default
// procedure for everything else, unbinding at the end, and exceptions kept
// inside the window procedure. Also the generic handle owners.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "Window.h"
#include "platform/WinHandles.h"

namespace {

using corva::ui::Window;
using corva::ui::WindowClass;
using corva::ui::WindowPlacement;

constexpr UINT kThrowMessage = WM_APP + 1;
constexpr UINT kAskMessage = WM_APP + 2;

class Probe : public Window {
public:
    bool refuseCreate = false;
    bool throwInCreate = false;
    bool handleClose = false;
    std::vector<std::wstring> calls;
    int width = -1, height = -1;
    int commandId = 0, commandCode = -1;
    bool finalSeen = false;
    HWND handleAtDestroy = nullptr;

    bool Make(HWND parent = nullptr, DWORD style = WS_OVERLAPPEDWINDOW, HMENU menu = nullptr) {
        WindowClass wc;
        wc.name = L"CorvaWindowProbe";
        WindowPlacement where;
        where.style = style;
        where.x = 10;
        where.y = 10;
        where.width = 300;
        where.height = 200;
        where.parent = parent;
        where.menu = menu;
        return Create(wc, L"Probe", where);
    }
    LRESULT CallDefault(UINT message, WPARAM wParam, LPARAM lParam) { return DefaultProcedure(message, wParam, lParam); }

protected:
    bool OnCreate(const CREATESTRUCTW& create) override {
        calls.push_back(L"create:" + std::wstring(create.lpszName ? create.lpszName : L""));
        if (throwInCreate) throw std::runtime_error("create");
        return !refuseCreate;
    }
    void OnResize(int w, int h) override {
        width = w;
        height = h;
    }
    bool OnCommand(int id, int code, HWND) override {
        commandId = id;
        commandCode = code;
        return true;
    }
    bool OnClose() override {
        calls.push_back(L"close");
        return handleClose;
    }
    void OnDestroy() override {
        calls.push_back(L"destroy");
        handleAtDestroy = Handle();
    }
    void OnFinalMessage() override { finalSeen = true; }
    bool OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT* result) override {
        if (message == kThrowMessage) throw std::runtime_error("handler");
        if (message == kAskMessage) {
            *result = static_cast<LRESULT>(wParam) * 2;
            return true;
        }
        return false;
    }
};

TEST(WindowBase, BindsAtCreationAndCallsTheNamedHandlers) {
    Probe probe;
    ASSERT_TRUE(probe.Make());
    HWND hwnd = probe.Handle();
    ASSERT_TRUE(::IsWindow(hwnd));
    EXPECT_EQ(Window::FromHandle(hwnd), &probe);
    ASSERT_FALSE(probe.calls.empty());
    EXPECT_EQ(probe.calls.front(), L"create:Probe");

    RECT client{};
    ::SetWindowPos(hwnd, nullptr, 0, 0, 400, 300, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::GetClientRect(hwnd, &client);
    EXPECT_EQ(probe.width, client.right);
    EXPECT_EQ(probe.height, client.bottom);

    // A menu id above 0x7FFF, as programs' command ids are: read unsigned.
    constexpr int kMenuCommand = 0x8001;
    ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(kMenuCommand, 1), 0);
    EXPECT_EQ(probe.commandId, kMenuCommand);
    EXPECT_EQ(probe.commandCode, 1);
    EXPECT_EQ(::SendMessageW(hwnd, kAskMessage, 21, 0), 42);
}

TEST(WindowBase, UnhandledMessagesReachTheDefaultProcedure) {
    Probe probe;
    ASSERT_TRUE(probe.Make());
    HWND hwnd = probe.Handle();
    // WM_SETTEXT and WM_GETTEXT are left to DefWindowProcW.
    ASSERT_TRUE(::SetWindowTextW(hwnd, L"Renamed"));
    wchar_t text[32] = {};
    ::GetWindowTextW(hwnd, text, 32);
    EXPECT_STREQ(text, L"Renamed");
    EXPECT_EQ(probe.CallDefault(WM_GETTEXTLENGTH, 0, 0), 7);

    // An unhandled close goes to the default, which destroys the window.
    ::SendMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_EQ(probe.Handle(), nullptr);
}

TEST(WindowBase, AHandledCloseKeepsTheWindow) {
    Probe probe;
    probe.handleClose = true;
    ASSERT_TRUE(probe.Make());
    ::SendMessageW(probe.Handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(::IsWindow(probe.Handle()));
    EXPECT_EQ(probe.calls.back(), L"close");
}

TEST(WindowBase, UnbindsAtTheLastMessage) {
    Probe probe;
    ASSERT_TRUE(probe.Make());
    HWND hwnd = probe.Handle();
    ASSERT_TRUE(::DestroyWindow(hwnd));
    EXPECT_EQ(probe.handleAtDestroy, hwnd);  // still bound at WM_DESTROY
    EXPECT_TRUE(probe.finalSeen);
    EXPECT_EQ(probe.Handle(), nullptr);
    EXPECT_EQ(Window::FromHandle(hwnd), nullptr);
    // The object can make a new window afterwards.
    ASSERT_TRUE(probe.Make());
    EXPECT_NE(probe.Handle(), nullptr);
}

TEST(WindowBase, DestroyingTheObjectDestroysItsWindow) {
    HWND hwnd = nullptr;
    {
        Probe probe;
        ASSERT_TRUE(probe.Make());
        hwnd = probe.Handle();
    }
    EXPECT_FALSE(::IsWindow(hwnd));
}

TEST(WindowBase, ExceptionsStayInsideTheWindowProcedure) {
    Probe probe;
    ASSERT_TRUE(probe.Make());
    LRESULT result = 1;
    EXPECT_NO_THROW(result = ::SendMessageW(probe.Handle(), kThrowMessage, 0, 0));
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(::IsWindow(probe.Handle()));
    EXPECT_EQ(::SendMessageW(probe.Handle(), kAskMessage, 5, 0), 10);
}

TEST(WindowBase, ARefusedOrFailedCreationLeavesNoWindow) {
    Probe refused;
    refused.refuseCreate = true;
    EXPECT_FALSE(refused.Make());
    EXPECT_EQ(refused.Handle(), nullptr);

    Probe throwing;
    throwing.throwInCreate = true;
    EXPECT_FALSE(throwing.Make());
    EXPECT_EQ(throwing.Handle(), nullptr);
}

TEST(WindowBase, ChildWindowsCarryTheirIdAndTalkToTheirParent) {
    Probe parent;
    ASSERT_TRUE(parent.Make());
    Probe child;
    ASSERT_TRUE(child.Make(parent.Handle(), WS_CHILD | WS_VISIBLE, reinterpret_cast<HMENU>(static_cast<INT_PTR>(2001))));
    EXPECT_EQ(::GetParent(child.Handle()), parent.Handle());
    EXPECT_EQ(::GetDlgCtrlID(child.Handle()), 2001);
    EXPECT_EQ(::GetDlgItem(parent.Handle(), 2001), child.Handle());
    EXPECT_EQ(Window::FromHandle(child.Handle()), &child);
    // Destroying the parent takes the child and unbinds both.
    ::DestroyWindow(parent.Handle());
    EXPECT_EQ(child.Handle(), nullptr);
    EXPECT_TRUE(child.finalSeen);
}

TEST(WindowBase, AForeignWindowHasNoObject) {
    HWND edit = ::CreateWindowExW(0, L"EDIT", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(Window::FromHandle(edit), nullptr);
    ::DestroyWindow(edit);
}

// ------------------------------------------------------------ handle owners

TEST(HandleOwners, KernelHandlesAreClosedOnceAndMoveAlong) {
    HANDLE raw = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(raw, nullptr);
    DWORD flags = 0;
    {
        corva::win::UniqueKernelHandle first(raw);
        EXPECT_TRUE(first.Valid());
        corva::win::UniqueKernelHandle second(std::move(first));
        EXPECT_FALSE(first.Valid());
        EXPECT_EQ(second.Get(), raw);
        EXPECT_TRUE(::GetHandleInformation(raw, &flags));
    }
    EXPECT_FALSE(::GetHandleInformation(raw, &flags));

    corva::win::UniqueKernelHandle failedOpen(INVALID_HANDLE_VALUE);
    EXPECT_FALSE(failedOpen.Valid());  // nothing to close
}

TEST(HandleOwners, ReleaseGivesTheHandleUp) {
    HANDLE raw = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(raw, nullptr);
    {
        corva::win::UniqueKernelHandle owner(raw);
        EXPECT_EQ(owner.Release(), raw);
    }
    DWORD flags = 0;
    EXPECT_TRUE(::GetHandleInformation(raw, &flags));
    ::CloseHandle(raw);
}

TEST(HandleOwners, FindRegistryMenuAndGdiOwners) {
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    WIN32_FIND_DATAW data{};
    corva::win::UniqueFindHandle find(::FindFirstFileW((std::wstring(system) + L"\\*").c_str(), &data));
    EXPECT_TRUE(find.Valid());
    EXPECT_TRUE(::FindNextFileW(find.Get(), &data));
    corva::win::UniqueFindHandle none(::FindFirstFileW(L"C:\\no-such-folder-here\\*", &data));
    EXPECT_FALSE(none.Valid());

    corva::win::UniqueRegistryKey key;
    EXPECT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_READ, key.Receive()), ERROR_SUCCESS);
    EXPECT_TRUE(key.Valid());

    HMENU raw = ::CreatePopupMenu();
    {
        corva::win::UniqueMenu menu(raw);
        EXPECT_TRUE(::IsMenu(raw));
    }
    EXPECT_FALSE(::IsMenu(raw));

    HBRUSH brush = ::CreateSolidBrush(RGB(1, 2, 3));
    {
        corva::win::UniqueBrush owner(brush);
        EXPECT_NE(::GetObjectType(brush), 0u);
    }
    EXPECT_EQ(::GetObjectType(brush), 0u);
}

}  // namespace
