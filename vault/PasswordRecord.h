// The vault's password record: the 32 digest bytes of the vault password
// (HashSecretText with the password label, as raw bytes) appended to the end
// of "CorvastineVault.exe". The installer writes it; the vault program reads
// it at start and compares its digest text with that of the typed password.
//
// Only a file of the record's shape holds one: a program file that is
// exactly its program image (as its PE headers lay it out) followed by 32
// bytes, or a bare 32-byte file. A copy of the unsealed program from the
// kit, a cut-off file or one with anything else appended holds no record;
// its last 32 bytes are never taken for a password digest.
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
    NoRecord,    // not of the record's shape: an unsealed program, cut off, or with other bytes appended
};

// Checks the file's shape, then reads its last 32 bytes and renders them as
// digest text ("%02X " per byte, 96 characters). *digestText is set only on
// Ok.
RecordStatus ReadPasswordRecord(const std::wstring& programFile, std::string* digestText);

// Where the program image of a PE file ends: the furthest end among its
// headers, its sections' data, its symbol and string tables and its
// certificate table. False when the file does not start with valid PE
// headers or they reach past its end.
bool ProgramImageEnd(const std::wstring& programFile, int64_t* end);

// Digest text of 32 record bytes.
std::string DigestTextOfRecord(const RecordBytes& bytes);

// The record bytes of a digest text: only the characters 0-9, a-z and A-Z
// count, read in pairs as hexadecimal digits (high digit first). False
// unless they are exactly 64 hexadecimal digits.
bool RecordFromDigestText(const std::string& digestText, RecordBytes* bytes);

}  // namespace corva::vault
