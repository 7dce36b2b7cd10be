// Names of the settings in "config.xml" and the product name shown in
// captions: each defined here once.
#pragma once

namespace corva {

// Digest text of the password.
constexpr char kPasswordKey[] = "passwordhash";
// Digest texts of the three security answers, in question order.
constexpr const char* kAnswerKeys[3] = {"a1", "a2", "a3"};
// The three chosen security questions, as their texts.
constexpr const char* kQuestionKeys[3] = {"question1", "question2", "question3"};

// The product's name as captions and messages show it.
constexpr wchar_t kProductName[] = L"Corvastine";

}  // namespace corva
