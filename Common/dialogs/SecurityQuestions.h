// The fixed table of security questions the setup wizard offers, in table
// order; a null entry ends it. The lists sort them for display.
#pragma once

constexpr int kSecurityQuestionCount = 21;
extern const wchar_t* const SecurityQuestions[kSecurityQuestionCount + 1];
