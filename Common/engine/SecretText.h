// Narrow text that must not outlive its use (passwords, security answers):
// the whole buffer is overwritten when the object is destroyed, wiped or
// replaced, and moves copy rather than steal, so no stray copy of a short
// text is left inside a moved-from object. Portable; nothing here throws
// beyond the allocation of the text itself.
#pragma once

#include <cstddef>
#include <string>

namespace corva {

class SecretText {
public:
    SecretText() = default;
    // Takes a copy of text; the caller wipes its own.
    explicit SecretText(const std::string& text) { text_.assign(text); }
    ~SecretText() { Wipe(); }
    SecretText(const SecretText&) = delete;
    SecretText& operator=(const SecretText&) = delete;
    SecretText(SecretText&& other) noexcept;
    SecretText& operator=(SecretText&& other) noexcept;

    const std::string& Text() const { return text_; }
    const char* CStr() const { return text_.c_str(); }
    bool Empty() const { return text_.empty(); }
    bool operator==(const SecretText& other) const { return text_ == other.text_; }
    bool operator!=(const SecretText& other) const { return !(*this == other); }

    // The buffer itself, for code that builds the text in place. Reserve
    // first: a reallocation leaves the earlier buffer unwiped.
    std::string& Buffer() { return text_; }

    // Overwrites the whole buffer (its capacity, not just its length) and
    // leaves the text empty.
    void Wipe() noexcept;

    // Overwrites the whole buffer of any string and empties it.
    static void WipeString(std::string& s) noexcept;

private:
    std::string text_;
};

}  // namespace corva
