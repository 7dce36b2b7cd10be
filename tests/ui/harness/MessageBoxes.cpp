// Recognising, reading and answering message boxes.
#include <vector>

#include "UiHarness.h"

namespace uitest {

namespace {

bool IsTextStatic(HWND control) {
    LONG_PTR type = ::GetWindowLongPtrW(control, GWL_STYLE) & SS_TYPEMASK;
    return type != SS_ICON && type != SS_BITMAP;
}

struct Parts {
    bool onlyStaticsAndButtons = true;
    HWND text = nullptr;
    HWND icon = nullptr;
    std::vector<HWND> buttons;
};

BOOL CALLBACK CollectParts(HWND child, LPARAM lParam) {
    auto* parts = reinterpret_cast<Parts*>(lParam);
    if (::GetParent(child) != ::GetAncestor(child, GA_ROOT)) return TRUE;  // direct children only
    std::wstring cls = ClassNameOf(child);
    if (_wcsicmp(cls.c_str(), L"Static") == 0) {
        if (!IsTextStatic(child)) {
            parts->icon = child;
        } else if ((::GetDlgCtrlID(child) & 0xFFFF) == 0xFFFF) {
            parts->text = child;
        }
    } else if (_wcsicmp(cls.c_str(), L"Button") == 0) {
        parts->buttons.push_back(child);
    } else {
        parts->onlyStaticsAndButtons = false;
    }
    return TRUE;
}

MessageIcon RecogniseIcon(HWND iconControl) {
    if (!iconControl || !::IsWindowVisible(iconControl)) return MessageIcon::None;
    DWORD_PTR shown = 0;
    ::SendMessageTimeoutW(iconControl, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 3000, &shown);
    if (!shown) return MessageIcon::None;
    struct Known {
        LPCWSTR id;
        MessageIcon icon;
    };
    const Known known[] = {{IDI_INFORMATION, MessageIcon::Information},
                           {IDI_WARNING, MessageIcon::Warning},
                           {IDI_ERROR, MessageIcon::Error},
                           {IDI_QUESTION, MessageIcon::Question}};
    for (const Known& k : known) {
        if (reinterpret_cast<DWORD_PTR>(::LoadIconW(nullptr, k.id)) == shown) return k.icon;
    }
    return MessageIcon::Unknown;
}

}  // namespace

const char* ToString(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::None:
        return "none";
    case MessageIcon::Information:
        return "information";
    case MessageIcon::Warning:
        return "warning";
    case MessageIcon::Error:
        return "error";
    case MessageIcon::Question:
        return "question";
    case MessageIcon::Unknown:
        return "unknown";
    }
    return "?";
}

std::optional<MessageBoxInfo> FindMessageBox(Scope scope) {
    WindowQuery query;
    query.scope = scope;
    query.className = L"#32770";
    query.filter = [](HWND window) {
        if (!::IsWindowEnabled(window)) return false;  // a box of its own is on top of it
        Parts parts;
        ::EnumChildWindows(window, &CollectParts, reinterpret_cast<LPARAM>(&parts));
        return parts.onlyStaticsAndButtons && parts.text != nullptr && !parts.buttons.empty();
    };
    HWND window = FindWindowOnce(query);
    if (!window) return std::nullopt;

    Parts parts;
    ::EnumChildWindows(window, &CollectParts, reinterpret_cast<LPARAM>(&parts));
    MessageBoxInfo info;
    info.window = window;
    info.owner = ::GetWindow(window, GW_OWNER);
    info.caption = WindowText(window);
    info.text = WindowText(parts.text);
    info.icon = RecogniseIcon(parts.icon);
    for (HWND b : parts.buttons) {
        if (::IsWindowVisible(b)) info.buttons.push_back(WindowText(b));
    }
    return info;
}

std::optional<MessageBoxInfo> WaitForMessageBox(Scope scope, Millis timeout) {
    std::optional<MessageBoxInfo> found;
    // A box is taken once it shows its caption and text: a box found while
    // it is still being built (or its thread is busy) reads empty.
    WaitUntil(
        [&] {
            found = FindMessageBox(scope);
            return found.has_value() && !found->caption.empty() && !found->text.empty();
        },
        timeout);
    return found;
}

bool AnswerMessageBox(const MessageBoxInfo& box, int buttonId) {
    HWND button = ::GetDlgItem(box.window, buttonId);
    if (!button) return false;
    ::PostMessageW(box.window, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    return WaitForWindowGone(box.window);
}

namespace {

bool StandsFor(const std::wstring& line, const std::wstring& whole) {
    const size_t dots = line.find(L"...");
    if (dots == std::wstring::npos) return false;
    const std::wstring head = line.substr(0, dots);
    const std::wstring tail = line.substr(dots + 3);
    return head.size() >= 5 && !tail.empty() && head.size() + tail.size() < whole.size() &&
           whole.compare(0, head.size(), head) == 0 &&
           whole.compare(whole.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::wstring WithLineRestored(const std::wstring& text, const std::wstring& whole, const std::wstring& asLine) {
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(L'\n', start);
        const size_t length = end == std::wstring::npos ? std::wstring::npos : end - start;
        const std::wstring line = text.substr(start, length);
        if (line == asLine || StandsFor(line, whole)) return text.substr(0, start) + asLine + text.substr(start + line.size());
        if (end == std::wstring::npos) return text;
        start = end + 1;
    }
}

}  // namespace uitest
