// The password and the three security answers are never stored, only their
// stretched digests as text: 32 bytes written "%02X " each (96 characters,
// ending in a space). The digests go to the settings "passwordhash", "a1",
// "a2" and "a3". Texts are narrow, in the system ANSI code page, taken
// exactly as typed (no trimming, no case folding).
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

// Stores the password's digest as "passwordhash". True when it was stored.
bool SetPassword(const std::string& password);
// True when the password's digest equals the stored "passwordhash" (never
// when none is stored).
bool CheckPassword(const std::string& password);

// Stores the answers' digests as "a1", "a2", "a3", in that order. True when
// all three were stored.
bool SetAnswers(const std::string& answer1, const std::string& answer2, const std::string& answer3);
// True when all three answers match "a1", "a2", "a3"; compares answer 1
// first and stops at the first mismatch without hashing the rest.
bool CheckAnswers(const std::string& answer1, const std::string& answer2, const std::string& answer3);
