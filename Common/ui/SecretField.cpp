#include "SecretField.h"

#include <string>
#include <vector>

#include "platform/Platform.h"

namespace corva::ui {

SecretText ReadSecretField(HWND dialog, int controlId, size_t maxChars) {
    SecretText out;
    std::vector<wchar_t> wide(maxChars + 1, L'\0');
    int length = ::GetDlgItemTextW(dialog, controlId, wide.data(), static_cast<int>(wide.size()));
    if (length > 0) {
        // The same conversion as plat::WideToNarrow (ANSI code page, default
        // replacement), written straight into the wiped buffer.
        int n = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
        if (n > 0) {
            std::string& text = out.Buffer();
            text.resize(static_cast<size_t>(n));
            ::WideCharToMultiByte(CP_ACP, 0, wide.data(), length, &text[0], n, nullptr, nullptr);
        }
    }
    plat::SecureZero(wide.data(), wide.size() * sizeof(wchar_t));
    return out;
}

void WipeField(HWND dialog, int controlId) {
    HWND field = ::GetDlgItem(dialog, controlId);
    if (!field) return;
    int length = ::GetWindowTextLengthW(field);
    if (length > 0) {
        std::wstring filler(static_cast<size_t>(length), L'x');
        ::SetWindowTextW(field, filler.c_str());
    }
    ::SetWindowTextW(field, L"");
}

}  // namespace corva::ui
