// The stored digests of the password and the three security answers, read
// from and written to the settings file. Only digest texts (HashSecretText)
// are ever stored; the texts themselves are narrow, in the system ANSI code
// page, taken exactly as typed (no trimming, no case folding). Failures are
// reported as false; nothing throws.
#pragma once

#include <string>

// True when a password digest is stored ("passwordhash" is not empty).
bool HasPassword();

// Stores the password's digest as "passwordhash". True when it was stored.
bool SetPassword(const std::string& password);
// True when the password's digest equals the stored "passwordhash" (never
// when none is stored).
bool CheckPassword(const std::string& password);

// Stores the answers' digests as "a1", "a2", "a3" in one rewrite of the
// settings file: all three or, on failure, none. True when stored.
bool SetAnswers(const std::string& answer1, const std::string& answer2, const std::string& answer3);
// True when all three answers match "a1", "a2", "a3"; compares answer 1
// first and stops at the first mismatch without hashing the rest.
bool CheckAnswers(const std::string& answer1, const std::string& answer2, const std::string& answer3);
