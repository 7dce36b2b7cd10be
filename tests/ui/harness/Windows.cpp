// Waiting, finding windows and reading their state.
#include <vector>

#include "UiHarness.h"

namespace uitest {

namespace {
constexpr UINT kSendTimeoutMs = 3000;
}

bool WaitUntil(const std::function<bool()>& condition, Millis timeout) {
    const ULONGLONG end = ::GetTickCount64() + static_cast<ULONGLONG>(timeout.count());
    for (;;) {
        if (condition()) return true;
        if (::GetTickCount64() >= end) return condition();
        ::Sleep(15);
    }
}

bool Scope::Contains(HWND window) const {
    DWORD processId = 0;
    DWORD threadId = ::GetWindowThreadProcessId(window, &processId);
    switch (kind_) {
    case Kind::Thread:
        return threadId == id_;
    case Kind::Process:
        return processId == id_;
    case Kind::Anywhere:
        return threadId != 0;
    }
    return false;
}

WindowQuery WindowQuery::Dialog(Scope scope, const std::wstring& caption) {
    WindowQuery q;
    q.scope = scope;
    q.caption = caption;
    q.className = L"#32770";
    return q;
}

std::wstring ClassNameOf(HWND window) {
    wchar_t name[256] = {};
    ::GetClassNameW(window, name, 256);
    return name;
}

std::wstring WindowText(HWND window) {
    if (!window) return std::wstring();
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length)) {
        return std::wstring();
    }
    std::vector<wchar_t> text(length + 2, L'\0');
    DWORD_PTR got = 0;
    ::SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                          kSendTimeoutMs, &got);
    return std::wstring(text.data());
}

namespace {

struct EnumContext {
    const WindowQuery* query;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM lParam) {
    auto* context = reinterpret_cast<EnumContext*>(lParam);
    const WindowQuery& q = *context->query;
    if (!q.scope.Contains(window)) return TRUE;
    if (q.visibleOnly && !::IsWindowVisible(window)) return TRUE;
    if (q.className && ClassNameOf(window) != *q.className) return TRUE;
    if (q.caption && WindowText(window) != *q.caption) return TRUE;
    if (q.filter && !q.filter(window)) return TRUE;
    context->found.push_back(window);
    return TRUE;
}

}  // namespace

std::vector<HWND> FindWindows(const WindowQuery& query) {
    EnumContext context{&query, {}};
    ::EnumWindows(&CollectTopLevel, reinterpret_cast<LPARAM>(&context));
    return context.found;
}

HWND FindWindowOnce(const WindowQuery& query) {
    std::vector<HWND> found = FindWindows(query);
    return found.empty() ? nullptr : found.front();
}

HWND WaitForWindow(const WindowQuery& query, Millis timeout) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindWindowOnce(query)) != nullptr; }, timeout);
    return found;
}

bool WaitForWindowGone(HWND window, Millis timeout) {
    return WaitUntil([&] { return !::IsWindow(window) || !::IsWindowVisible(window); }, timeout);
}

std::wstring ControlText(HWND dialog, int controlId) { return WindowText(::GetDlgItem(dialog, controlId)); }

bool ControlExists(HWND dialog, int controlId) { return ::GetDlgItem(dialog, controlId) != nullptr; }

bool IsControlEnabled(HWND dialog, int controlId) {
    HWND control = ::GetDlgItem(dialog, controlId);
    return control && ::IsWindowEnabled(control);
}

bool IsControlVisible(HWND dialog, int controlId) {
    HWND control = ::GetDlgItem(dialog, controlId);
    return control && ::IsWindowVisible(control);
}

SIZE ClientSize(HWND window) {
    RECT r{};
    ::GetClientRect(window, &r);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

RECT ControlRect(HWND dialog, int controlId) {
    RECT r{};
    HWND control = ::GetDlgItem(dialog, controlId);
    if (!control) return r;
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

HWND FocusedWindow(HWND window) {
    DWORD threadId = ::GetWindowThreadProcessId(window, nullptr);
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!threadId || !::GetGUIThreadInfo(threadId, &info)) return nullptr;
    return info.hwndFocus;
}

int FocusedControlId(HWND container) {
    HWND focus = FocusedWindow(container);
    if (!focus || !(focus == container || ::IsChild(container, focus))) return 0;
    return ::GetDlgCtrlID(focus);
}

std::wstring BesideProgram(const std::wstring& name) {
    wchar_t path[MAX_PATH + 1] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    size_t slash = folder.find_last_of(L"\\/");
    if (slash != std::wstring::npos) folder.erase(slash + 1);
    return folder + name;
}

}  // namespace uitest
