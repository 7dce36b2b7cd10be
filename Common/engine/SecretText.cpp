#include "engine/SecretText.h"

#include "platform/Platform.h"

namespace corva {

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

}  // namespace corva
