#include "Secrets.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "engine/Crypto.h"
#include "platform/Platform.h"

namespace corva {

const char kPasswordLabel[] = "kelpbramble";
const char kAnswerLabel1[] = "quaymortar1";
const char kAnswerLabel2[] = "quaymortar2";
const char kAnswerLabel3[] = "quaymortar3";

namespace {

std::atomic<unsigned long> g_hashCount{0};

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
