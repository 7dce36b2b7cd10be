// The digest of a password or security answer: the secret stretched with a
// label as salt and written as text, 32 bytes as "%02X " each (96
// characters, ending in a space). Storing and checking digests is the
// settings store's (settings/PasswordStore.h). Texts are narrow, in the
// system ANSI code page, taken exactly as typed.
#pragma once

#include <cstddef>
#include <string>

namespace corva {

constexpr size_t kDigestTextSize = 96;

// Labels salting the digests (11 ASCII bytes each, zero-padded to 32 bytes).
extern const char kPasswordLabel[];  // "kelpbramble"
extern const char kAnswerLabel1[];   // "quaymortar1"
extern const char kAnswerLabel2[];   // "quaymortar2"
extern const char kAnswerLabel3[];   // "quaymortar3"

// Test hook: counts the digests computed by HashSecretText in this process.
unsigned long HashSecretTextCount();

}  // namespace corva

// StretchSecret(text, label zero-padded to 32 bytes), written as digest text.
std::string HashSecretText(const std::string& text, const char* label);
