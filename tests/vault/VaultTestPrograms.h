// A program file for the vault's tests: laid out as the linker lays one
// out, so that the password record's shape check takes it for a program.
#pragma once

#include <algorithm>
#include <cstring>

#include "support/TestSupport.h"

namespace vaulttest {

inline void PutLe(testing_support::Bytes& bytes, size_t at, uint64_t value, int width) {
    for (int i = 0; i < width; ++i) bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

// PE32+ headers and two sections of raw data, and optionally a symbol table
// with its string table after them; the image ends after the last of these.
inline testing_support::Bytes MinimalProgram(bool withSymbols) {
    constexpr size_t kPe = 0x80, kOptional = kPe + 24, kOptionalSize = 240, kSections = kOptional + kOptionalSize;
    testing_support::Bytes bytes = testing_support::PseudoRandom(0x1400, 11);
    std::fill(bytes.begin(), bytes.begin() + 0x400, 0);
    bytes[0] = 'M';
    bytes[1] = 'Z';
    PutLe(bytes, 0x3C, kPe, 4);
    std::memcpy(&bytes[kPe], "PE\0\0", 4);
    PutLe(bytes, kPe + 4, 0x8664, 2);        // machine
    PutLe(bytes, kPe + 6, 2, 2);             // sections
    PutLe(bytes, kPe + 20, kOptionalSize, 2);
    PutLe(bytes, kOptional, 0x20B, 2);       // PE32+
    PutLe(bytes, kOptional + 60, 0x400, 4);  // size of the headers
    PutLe(bytes, kOptional + 108, 16, 4);    // data directories
    const uint32_t raw[2][2] = {{0x400, 0xA00}, {0xE00, 0x600}};  // offset, size
    for (size_t i = 0; i < 2; ++i) {
        PutLe(bytes, kSections + i * 40 + 16, raw[i][1], 4);
        PutLe(bytes, kSections + i * 40 + 20, raw[i][0], 4);
    }
    if (withSymbols) {
        PutLe(bytes, kPe + 12, 0x1400, 4);  // the symbols follow the sections
        PutLe(bytes, kPe + 16, 3, 4);
        const testing_support::Bytes symbols(3 * 18, 0x5A);
        bytes.insert(bytes.end(), symbols.begin(), symbols.end());
        const testing_support::Bytes strings = {10, 0, 0, 0, 'a', 0, 'b', 'c', 0, 0};
        bytes.insert(bytes.end(), strings.begin(), strings.end());
    }
    return bytes;
}

}  // namespace vaulttest
