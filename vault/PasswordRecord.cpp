#include "PasswordRecord.h"

#include <cstdio>

#include "platform/Platform.h"

namespace corva::vault {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsAsciiAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

RecordStatus ReadPasswordRecord(const std::wstring& programFile, std::string* digestText) {
    plat::File file;
    if (!file.Open(programFile, plat::File::Mode::Read)) return RecordStatus::Missing;
    int64_t size = 0;
    if (!file.Size(&size)) return RecordStatus::Unreadable;
    if (size < static_cast<int64_t>(kRecordSize)) return RecordStatus::TooShort;
    if (!file.Seek(size - static_cast<int64_t>(kRecordSize))) return RecordStatus::Unreadable;
    RecordBytes bytes{};
    size_t got = 0;
    if (!file.ReadFull(bytes.data(), bytes.size(), &got) || got != bytes.size()) return RecordStatus::Unreadable;
    *digestText = DigestTextOfRecord(bytes);
    return RecordStatus::Ok;
}

std::string DigestTextOfRecord(const RecordBytes& bytes) {
    std::string text;
    text.reserve(kRecordSize * 3);
    char cell[4];
    for (uint8_t b : bytes) {
        std::snprintf(cell, sizeof cell, "%02X ", b);
        text += cell;
    }
    return text;
}

bool RecordFromDigestText(const std::string& digestText, RecordBytes* bytes) {
    size_t digits = 0;
    int high = -1;
    RecordBytes out{};
    for (char c : digestText) {
        if (!IsAsciiAlnum(c)) continue;
        const int value = HexValue(c);
        if (value < 0 || digits >= kRecordSize * 2) return false;
        if (high < 0) {
            high = value;
        } else {
            out[digits / 2] = static_cast<uint8_t>(high * 16 + value);
            high = -1;
        }
        ++digits;
    }
    if (digits != kRecordSize * 2) return false;
    *bytes = out;
    return true;
}

}  // namespace corva::vault
