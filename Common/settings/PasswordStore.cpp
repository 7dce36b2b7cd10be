#include "settings/PasswordStore.h"

#include <utility>
#include <vector>

#include "engine/Secrets.h"
#include "settings/SettingKeys.h"
#include "settings/Settings.h"

namespace {

const char* const kAnswerLabels[3] = {corva::kAnswerLabel1, corva::kAnswerLabel2, corva::kAnswerLabel3};

// Compares two texts in time independent of where they first differ.
bool SameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    unsigned char diff = 0;
    for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

}  // namespace

bool HasPassword() { return !GetSetting(corva::kPasswordKey).empty(); }

bool SetPassword(const std::string& password) {
    return SetSetting(corva::kPasswordKey, HashSecretText(password, corva::kPasswordLabel));
}

bool CheckPassword(const std::string& password) {
    const std::string stored = GetSetting(corva::kPasswordKey);
    return SameText(stored, HashSecretText(password, corva::kPasswordLabel));
}

bool SetAnswers(const std::string& answer1, const std::string& answer2, const std::string& answer3) {
    const std::string* answers[3] = {&answer1, &answer2, &answer3};
    // One rewrite for all three: a failure leaves the earlier answers whole,
    // never some new and some old.
    std::vector<std::pair<std::string, std::string>> digests;
    for (int i = 0; i < 3; ++i)
        digests.emplace_back(corva::kAnswerKeys[i], HashSecretText(*answers[i], kAnswerLabels[i]));
    return SetSettings(digests);
}

bool CheckAnswers(const std::string& answer1, const std::string& answer2, const std::string& answer3) {
    const std::string* answers[3] = {&answer1, &answer2, &answer3};
    std::string stored[3];
    for (int i = 0; i < 3; ++i) stored[i] = GetSetting(corva::kAnswerKeys[i]);
    for (int i = 0; i < 3; ++i)
        if (!SameText(stored[i], HashSecretText(*answers[i], kAnswerLabels[i]))) return false;
    return true;
}
