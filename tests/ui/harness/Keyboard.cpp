// Real keyboard input: key presses go through SendInput, the way a user's
// keys reach the program (the system's input queue, the dialog manager's
// Tab, Enter and Escape handling, the focused control), not as messages
// posted to a window.
#include <cstdio>
#include <vector>

#include "UiHarness.h"

namespace uitest {

namespace {

// How long a key press may show no effect before it is taken as lost.
constexpr Millis kLostKey{15000};

INPUT KeyEvent(WORD virtualKey, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

INPUT CharacterEvent(wchar_t ch, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wScan = ch;
    input.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
    return input;
}

bool Send(std::vector<INPUT>& inputs) {
    const UINT count = static_cast<UINT>(inputs.size());
    return count == 0 || ::SendInput(count, inputs.data(), sizeof(INPUT)) == count;
}

// One attempt at making root the foreground window.
bool TakeForeground(HWND root) {
    if (::GetForegroundWindow() == root) return true;
    ::SetForegroundWindow(root);
    return ::GetForegroundWindow() == root;
}

// The window's top-level window enabled and in the foreground. A disabled
// window (one whose modal child is still closing) takes no input: it is
// waited for until it is enabled again.
bool ReadyForKeys(HWND window) {
    HWND root = ::GetAncestor(window, GA_ROOT);
    if (!root || !::IsWindow(root)) return false;
    return WaitUntil([&] { return ::IsWindowEnabled(root) && TakeForeground(root); });
}

}  // namespace

bool BringToForeground(HWND window) {
    HWND root = ::GetAncestor(window, GA_ROOT);
    if (!root || !::IsWindow(root)) return false;
    return WaitUntil([&] { return TakeForeground(root); });
}

bool PressKeys(std::initializer_list<WORD> chord) {
    if (chord.size() == 0) return false;
    std::vector<INPUT> inputs;
    for (WORD key : chord) inputs.push_back(KeyEvent(key, false));
    for (auto key = chord.end(); key != chord.begin();) inputs.push_back(KeyEvent(*--key, true));
    return Send(inputs);
}

bool PressKeys(HWND window, std::initializer_list<WORD> chord) {
    return chord.size() != 0 && ReadyForKeys(window) && PressKeys(chord);
}

bool PressKey(HWND window, WORD virtualKey) { return PressKeys(window, {virtualKey}); }

bool TypeKeys(const std::wstring& text) {
    std::vector<INPUT> inputs;
    for (wchar_t ch : text) {
        inputs.push_back(CharacterEvent(ch, false));
        inputs.push_back(CharacterEvent(ch, true));
    }
    return Send(inputs);
}

bool TypeKeys(HWND window, const std::wstring& text) { return ReadyForKeys(window) && TypeKeys(text); }

bool PressKeysUntil(std::initializer_list<WORD> chord, const std::function<bool()>& done, Millis timeout) {
    PressKeys(chord);
    if (WaitUntil(done, kLostKey)) return true;
    std::fprintf(stderr, "a key press had no effect for %lld s: pressed again\n",
                 static_cast<long long>(kLostKey.count() / 1000));
    PressKeys(chord);
    return WaitUntil(done, timeout);
}

std::wstring EditBoxText(HWND editor) { return WindowText(::FindWindowExW(editor, nullptr, L"Edit", nullptr)); }

bool TypeAtEnd(HWND editor, const std::wstring& typed) {
    return PressKeys(editor, {VK_CONTROL, VK_END}) && TypeKeys(editor, typed) &&
           WaitUntil([&] { return EditBoxText(editor).find(typed) != std::wstring::npos; });
}

bool SaveByKeys(HWND editor, const std::wstring& path, std::uint64_t savedSize) {
    return BringToForeground(editor) && PressKeysUntil({VK_CONTROL, 'S'}, [&] {
               WIN32_FILE_ATTRIBUTE_DATA data{};
               return ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
                      ((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow) == savedSize;
           });
}

bool TabToControl(HWND dialog, int controlId, bool backwards, int most) {
    HWND target = ::GetDlgItem(dialog, controlId);
    if (!target) return false;
    for (int i = 0; i < most; ++i) {
        HWND before = FocusedWindow(dialog);
        if (before == target) return true;
        bool sent = backwards ? PressKeys(dialog, {VK_SHIFT, VK_TAB}) : PressKey(dialog, VK_TAB);
        // Each press is taken in (the focus moves) before the next one.
        if (!sent || !WaitUntil([&] { return FocusedWindow(dialog) != before; })) return false;
    }
    return FocusedWindow(dialog) == target;
}

bool EditSelectionIsWholeText(HWND dialog, int controlId) {
    HWND edit = ::GetDlgItem(dialog, controlId);
    if (!edit) return false;
    DWORD start = 0, end = 0;
    DWORD_PTR ignored = 0;
    if (!::SendMessageTimeoutW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end),
                               SMTO_ABORTIFHUNG, 3000, &ignored)) {
        return false;
    }
    DWORD_PTR length = 0;
    ::SendMessageTimeoutW(edit, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 3000, &length);
    return length > 0 && start == 0 && end == length;
}

}  // namespace uitest
