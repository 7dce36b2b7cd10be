// The vault's password record: the 32 digest bytes of the vault password
// (HashSecretText with the password label, as raw bytes) appended to the end
// of "CorvastineVault.exe". The installer writes it; the vault program reads
// it at start and compares its digest text with that of the typed password.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace corva::vault {

constexpr size_t kRecordSize = 32;
using RecordBytes = std::array<uint8_t, kRecordSize>;

enum class RecordStatus {
    Ok,
    Missing,     // the file cannot be opened for reading
    TooShort,    // shorter than 32 bytes: it holds no record
    Unreadable,  // opened, but reading its end failed
};

// Reads the last 32 bytes of the file and renders them as digest text
// ("%02X " per byte, 96 characters). *digestText is set only on Ok.
RecordStatus ReadPasswordRecord(const std::wstring& programFile, std::string* digestText);

// Digest text of 32 record bytes.
std::string DigestTextOfRecord(const RecordBytes& bytes);

// The record bytes of a digest text: only the characters 0-9, a-z and A-Z
// count, read in pairs as hexadecimal digits (high digit first). False
// unless they are exactly 64 hexadecimal digits.
bool RecordFromDigestText(const std::string& digestText, RecordBytes* bytes);

}  // namespace corva::vault
