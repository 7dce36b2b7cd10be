#include "SecretText.h"

#include <vector>

#include "platform/Platform.h"

namespace corva::ui {

void SecretText::WipeString(std::string& s) noexcept {
    // Growing to the capacity never reallocates, and makes the whole buffer
    // addressable, including bytes of earlier, longer contents.
    s.resize(s.capacity());
    if (!s.empty()) plat::SecureZero(&s[0], s.size());
    s.clear();
}

void SecretText::Wipe() noexcept { WipeString(text_); }

SecretText::SecretText(SecretText&& other) noexcept {
    // Copy rather than move: a short text lives inside the object itself, and
    // a move would leave its bytes in the source.
    text_.assign(other.text_);
    other.Wipe();
}

SecretText& SecretText::operator=(SecretText&& other) noexcept {
    if (this != &other) {
        Wipe();
        text_.assign(other.text_);
        other.Wipe();
    }
    return *this;
}

SecretText SecretText::FromField(HWND dialog, int controlId, size_t maxChars) {
    SecretText out;
    std::vector<wchar_t> wide(maxChars + 1, L'\0');
    int length = ::GetDlgItemTextW(dialog, controlId, wide.data(), static_cast<int>(wide.size()));
    if (length > 0) {
        // The same conversion as plat::WideToNarrow (ANSI code page, default
        // replacement), written straight into the wiped buffer.
        int n = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
        if (n > 0) {
            out.text_.resize(static_cast<size_t>(n));
            ::WideCharToMultiByte(CP_ACP, 0, wide.data(), length, &out.text_[0], n, nullptr, nullptr);
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
