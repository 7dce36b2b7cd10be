// Narrow text that must not outlive its use (passwords, security answers):
// the buffer is overwritten when the object is destroyed or replaced, and
// reading it from a dialog field leaves no other copy behind.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace corva::ui {

class SecretText {
public:
    SecretText() = default;
    ~SecretText() { Wipe(); }
    SecretText(const SecretText&) = delete;
    SecretText& operator=(const SecretText&) = delete;
    SecretText(SecretText&& other) noexcept;
    SecretText& operator=(SecretText&& other) noexcept;

    const std::string& Text() const { return text_; }
    bool Empty() const { return text_.empty(); }
    bool operator==(const SecretText& other) const { return text_ == other.text_; }
    bool operator!=(const SecretText& other) const { return !(*this == other); }

    // Overwrites the whole buffer (its capacity, not just its length) and
    // leaves the text empty.
    void Wipe() noexcept;

    // The text of a dialog field, at most maxChars characters, converted to
    // the system ANSI code page. The wide copy is wiped before returning.
    static SecretText FromField(HWND dialog, int controlId, size_t maxChars);

private:
    static void WipeString(std::string& s) noexcept;
    std::string text_;
};

// Overwrites the text an edit control holds with filler of the same length,
// then empties it, so that the control's buffer keeps no secret.
void WipeField(HWND dialog, int controlId);

}  // namespace corva::ui
