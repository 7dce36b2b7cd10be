#include "PasswordRecord.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

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

uint64_t Le(const uint8_t* p, int bytes) {
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

// Reads exactly size bytes at offset; false when the file ends before.
bool ReadAt(plat::File& file, int64_t offset, void* buffer, size_t size) {
    size_t got = 0;
    return file.Seek(offset) && file.ReadFull(buffer, size, &got) && got == size;
}

constexpr int64_t kDosHeaderSize = 64;
constexpr int64_t kCoffHeaderSize = 20;
constexpr int64_t kSectionHeaderSize = 40;
constexpr int64_t kSymbolSize = 18;
constexpr size_t kCertificateDirectory = 4;

bool ImageEnd(plat::File& file, int64_t size, int64_t* end) {
    uint8_t dos[kDosHeaderSize];
    if (size < kDosHeaderSize || !ReadAt(file, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
    const int64_t pe = static_cast<int64_t>(Le(dos + 0x3C, 4));
    uint8_t coff[4 + kCoffHeaderSize];
    if (pe + static_cast<int64_t>(sizeof coff) > size || !ReadAt(file, pe, coff, sizeof coff) ||
        std::memcmp(coff, "PE\0\0", 4) != 0)
        return false;
    const int64_t sections = static_cast<int64_t>(Le(coff + 6, 2));
    const int64_t symbols = static_cast<int64_t>(Le(coff + 12, 4));
    const int64_t symbolCount = static_cast<int64_t>(Le(coff + 16, 4));
    const int64_t optionalSize = static_cast<int64_t>(Le(coff + 20, 2));
    const int64_t optional = pe + 4 + kCoffHeaderSize;
    std::vector<uint8_t> header(static_cast<size_t>(optionalSize));
    if (optionalSize < 2 || optional + optionalSize > size || !ReadAt(file, optional, header.data(), header.size()))
        return false;
    const uint64_t magic = Le(header.data(), 2);
    size_t directories = 0, countAt = 0;
    if (magic == 0x10B) {
        countAt = 92;
        directories = 96;
    } else if (magic == 0x20B) {
        countAt = 108;
        directories = 112;
    } else {
        return false;
    }
    if (header.size() < 64) return false;
    int64_t last = static_cast<int64_t>(Le(header.data() + 60, 4));  // SizeOfHeaders
    const int64_t table = optional + optionalSize;
    std::vector<uint8_t> rows(static_cast<size_t>(sections * kSectionHeaderSize));
    if (table + static_cast<int64_t>(rows.size()) > size || !ReadAt(file, table, rows.data(), rows.size()))
        return false;
    last = std::max(last, table + static_cast<int64_t>(rows.size()));
    for (int64_t i = 0; i < sections; ++i) {
        const uint8_t* row = rows.data() + i * kSectionHeaderSize;
        const int64_t rawSize = static_cast<int64_t>(Le(row + 16, 4));
        const int64_t rawAt = static_cast<int64_t>(Le(row + 20, 4));
        if (rawSize > 0) last = std::max(last, rawAt + rawSize);
    }
    if (header.size() >= countAt + 4 && Le(header.data() + countAt, 4) > kCertificateDirectory &&
        header.size() >= directories + (kCertificateDirectory + 1) * 8) {
        const uint8_t* entry = header.data() + directories + kCertificateDirectory * 8;
        const int64_t at = static_cast<int64_t>(Le(entry, 4)), bytes = static_cast<int64_t>(Le(entry + 4, 4));
        if (bytes > 0) last = std::max(last, at + bytes);
    }
    if (symbols != 0) {
        // The string table follows the symbols; its first four bytes hold its
        // length, themselves included.
        const int64_t strings = symbols + symbolCount * kSymbolSize;
        uint8_t length[4];
        if (strings + 4 > size || !ReadAt(file, strings, length, sizeof length)) return false;
        last = std::max(last, strings + std::max<int64_t>(4, static_cast<int64_t>(Le(length, 4))));
    }
    if (last > size) return false;
    *end = last;
    return true;
}

}  // namespace

bool ProgramImageEnd(const std::wstring& programFile, int64_t* end) {
    plat::File file;
    int64_t size = 0;
    return file.Open(programFile, plat::File::Mode::Read) && file.Size(&size) && ImageEnd(file, size, end);
}

RecordStatus ReadPasswordRecord(const std::wstring& programFile, std::string* digestText) {
    plat::File file;
    if (!file.Open(programFile, plat::File::Mode::Read)) return RecordStatus::Missing;
    int64_t size = 0;
    if (!file.Size(&size)) return RecordStatus::Unreadable;
    if (size < static_cast<int64_t>(kRecordSize)) return RecordStatus::TooShort;
    int64_t image = 0;
    const bool program = ImageEnd(file, size, &image);
    if (program ? size != image + static_cast<int64_t>(kRecordSize) : size != static_cast<int64_t>(kRecordSize))
        return RecordStatus::NoRecord;
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
