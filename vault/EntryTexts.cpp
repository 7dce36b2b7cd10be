#include "EntryTexts.h"

#include <cwchar>

namespace corva::vault {

std::wstring SizeText(int64_t length) {
    constexpr int64_t kKilo = 1024;
    constexpr int64_t kMega = kKilo * 1024;
    constexpr int64_t kGiga = kMega * 1024;
    if (length < 0) return std::wstring();
    wchar_t text[48];
    if (length < kKilo) {
        std::swprintf(text, 48, L"%lld Bytes", static_cast<long long>(length));
    } else if (length < kMega) {
        std::swprintf(text, 48, L"%lld KB", static_cast<long long>(length / kKilo));
    } else if (length < kGiga) {
        std::swprintf(text, 48, L"%lld MB", static_cast<long long>(length / kMega));
    } else {
        std::swprintf(text, 48, L"%lld GB", static_cast<long long>(length / kGiga));
    }
    return text;
}

std::wstring DateText(int year, int month, int day) {
    wchar_t text[32];
    std::swprintf(text, 32, L"%04d-%02d-%02d", year, month, day);
    return text;
}

}  // namespace corva::vault
