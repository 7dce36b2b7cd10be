#include "Secrets.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "engine/Crypto.h"
#include "platform/Platform.h"
#include "settings/Settings.h"

namespace corva {

const char kPasswordLabel[] = "kelpbramble";
const char kAnswerLabel1[] = "quaymortar1";
const char kAnswerLabel2[] = "quaymortar2";
const char kAnswerLabel3[] = "quaymortar3";

namespace {

const char kPasswordKey[] = "passwordhash";
const char* const kAnswerKeys[3] = {"a1", "a2", "a3"};
const char* const kAnswerLabels[3] = {kAnswerLabel1, kAnswerLabel2, kAnswerLabel3};

std::atomic<unsigned long> g_hashCount{0};

// Compares two texts in time independent of where they first differ.
bool SameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    unsigned char diff = 0;
    for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

}  // namespace

unsigned long HashSecretTextCount() { return g_hashCount.load(); }

}  // namespace corva

std::string HashSecretText(const std::string& text, const char* label) {
    uint8_t salt[corva::kSaltSize] = {};
    if (label) {
        size_t n = std::strlen(label);
        std::memcpy(salt, label, n < sizeof salt ? n : sizeof salt);
    }
    uint8_t digest[corva::kDigestSize];
    StretchSecret(text, salt, digest);
    char out[corva::kDigestTextSize + 1];
    for (size_t i = 0; i < corva::kDigestSize; ++i) std::snprintf(out + 3 * i, 4, "%02X ", digest[i]);
    plat::SecureZero(digest, sizeof digest);
    ++corva::g_hashCount;
    return std::string(out, corva::kDigestTextSize);
}

bool SetPassword(const std::string& password) {
    return SetSetting(corva::kPasswordKey, HashSecretText(password, corva::kPasswordLabel));
}

bool CheckPassword(const std::string& password) {
    const std::string stored = GetSetting(corva::kPasswordKey);
    return corva::SameText(stored, HashSecretText(password, corva::kPasswordLabel));
}

bool SetAnswers(const std::string& answer1, const std::string& answer2, const std::string& answer3) {
    const std::string* answers[3] = {&answer1, &answer2, &answer3};
    std::string digests[3];
    for (int i = 0; i < 3; ++i) digests[i] = HashSecretText(*answers[i], corva::kAnswerLabels[i]);
    bool stored = true;
    for (int i = 0; i < 3; ++i) stored = SetSetting(corva::kAnswerKeys[i], digests[i]) && stored;
    return stored;
}

bool CheckAnswers(const std::string& answer1, const std::string& answer2, const std::string& answer3) {
    const std::string* answers[3] = {&answer1, &answer2, &answer3};
    std::string stored[3];
    for (int i = 0; i < 3; ++i) stored[i] = GetSetting(corva::kAnswerKeys[i]);
    for (int i = 0; i < 3; ++i)
        if (!corva::SameText(stored[i], HashSecretText(*answers[i], corva::kAnswerLabels[i]))) return false;
    return true;
}
