// Inside the engine: the keys of a locked file and the checks of its header.
// Kh (the header key) seals the header token; K0 (the body seed) starts the
// body's per-block keys. Keys live in Key32 values that wipe themselves.
#pragma once

#include <cstdint>

#include "engine/Crypto.h"
#include "engine/LittleEndian.h"
#include "engine/LockedFile.h"
#include "platform/Platform.h"

namespace corva {

// Keys derived from the password that live on the stack of one call.
struct Key32 {
    uint8_t bytes[kDigestSize];
    ~Key32() { plat::SecureZero(bytes, sizeof bytes); }
};

// The two keys of a locked file: Kh seals the header token, K0 seeds the body.
struct FileKeys {
    Key32 header;
    Key32 body;
};

// Both keys of an existing header; the two stretches run together.
void DeriveFileKeys(const char* password, const LockedFileHeader& h, FileKeys* keys);
// True when the sealed token opens under kh to a value whose SHA-256 is the
// sealed digest.
bool HeaderMatchesKey(const Key32& kh, const LockedFileHeader& h);
// Reads the header of an open locked file and checks its shape: magic,
// version, length. kOk or kNotLockedFile.
EngineResult ReadHeader(plat::File& in, LockedFileHeader* h, int64_t* size, uint8_t raw[kHeaderSize]);

}  // namespace corva
