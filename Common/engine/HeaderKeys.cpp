// The locked file's header: its layout on disk, building and sealing it, the
// keys that belong to it, and the source of ready-made headers for locking.
#include "engine/HeaderKeys.h"

#include <cstring>

namespace corva {

namespace {

void HeaderKey(const char* password, const LockedFileHeader& h, Key32* kh) {
    Key32 stretched;
    StretchSecret(password, h.salt, stretched.bytes);
    PadDigest(stretched.bytes, kh->bytes);
}

// Magic, version, salt, token T, IV, payload size and SHA-256(T), not yet
// sealed.
void FillHeader(uint64_t payloadSize, const uint8_t salt[32], const uint8_t token[32], const uint8_t iv[64],
                LockedFileHeader* h) {
    std::memset(h, 0, sizeof *h);
    h->magic = kLockedMagic;
    h->version = kLockedVersion;
    std::memcpy(h->salt, salt, 32);
    std::memcpy(h->sealedToken, token, 32);
    std::memcpy(h->iv, iv, 64);
    h->payloadSize = payloadSize;
    Sha256(h->sealedToken, 32, h->sealedDigest);
}

// The token and its digest enciphered under Kh, each chain starting afresh
// from the IV.
void SealHeader(const Key32& kh, LockedFileHeader* h) {
    uint8_t chain[kAesBlock];
    std::memcpy(chain, h->iv, kAesBlock);
    AesCbc256(kh.bytes, chain, h->sealedToken, 32, true);
    std::memcpy(chain, h->iv, kAesBlock);
    AesCbc256(kh.bytes, chain, h->sealedDigest, 32, true);
}

}  // namespace

void DeriveFileKeys(const char* password, const LockedFileHeader& h, FileKeys* keys) {
    Key32 stretched;
    StretchSecretPair(password, h.salt, stretched.bytes, h.sealedDigest, keys->body.bytes);
    PadDigest(stretched.bytes, keys->header.bytes);
}

bool HeaderMatchesKey(const Key32& kh, const LockedFileHeader& h) {
    uint8_t token[32], digest[32], expected[32], chain[kAesBlock];
    std::memcpy(token, h.sealedToken, 32);
    std::memcpy(digest, h.sealedDigest, 32);
    std::memcpy(chain, h.iv, kAesBlock);
    AesCbc256(kh.bytes, chain, token, 32, false);
    std::memcpy(chain, h.iv, kAesBlock);
    AesCbc256(kh.bytes, chain, digest, 32, false);
    Sha256(token, 32, expected);
    bool match = std::memcmp(expected, digest, 32) == 0;
    plat::SecureZero(token, sizeof token);
    return match;
}

EngineResult ReadHeader(plat::File& in, LockedFileHeader* h, int64_t* size, uint8_t raw[kHeaderSize]) {
    size_t got = 0;
    if (!in.Size(size) || !in.Seek(0) || !in.ReadFull(raw, kHeaderSize, &got) || got != kHeaderSize)
        return kNotLockedFile;
    ParseHeader(raw, h);
    if (h->magic != kLockedMagic || h->version >= 2 || *size < static_cast<int64_t>(kHeaderSize) || *size % 16 != 12)
        return kNotLockedFile;
    return kOk;
}

void SerializeHeader(const LockedFileHeader& h, uint8_t out[kHeaderSize]) {
    PutLe(out + 0, h.magic, 2);
    PutLe(out + 2, h.version, 2);
    std::memcpy(out + 4, h.salt, 32);
    std::memcpy(out + 36, h.sealedToken, 32);
    std::memcpy(out + 68, h.sealedDigest, 32);
    std::memcpy(out + 100, h.iv, 64);
    PutLe(out + 164, h.payloadSize, 8);
}

void ParseHeader(const uint8_t in[kHeaderSize], LockedFileHeader* h) {
    h->magic = static_cast<uint16_t>(GetLe(in + 0, 2));
    h->version = static_cast<uint16_t>(GetLe(in + 2, 2));
    std::memcpy(h->salt, in + 4, 32);
    std::memcpy(h->sealedToken, in + 36, 32);
    std::memcpy(h->sealedDigest, in + 68, 32);
    std::memcpy(h->iv, in + 100, 64);
    h->payloadSize = GetLe(in + 164, 8);
}

void BuildHeaderFrom(const char* password, uint64_t payloadSize, const uint8_t salt[32], const uint8_t token[32],
                     const uint8_t iv[64], LockedFileHeader* h, uint8_t* headerKey) {
    FillHeader(payloadSize, salt, token, iv, h);
    Key32 kh;
    HeaderKey(password, *h, &kh);
    SealHeader(kh, h);
    if (headerKey) std::memcpy(headerKey, kh.bytes, kDigestSize);
}

bool BuildHeader(const char* password, uint64_t payloadSize, LockedFileHeader* h, uint8_t* headerKey) {
    uint8_t salt[32], token[32], iv[64];
    bool ok = RandomBytes(salt, sizeof salt) && RandomBytes(token, sizeof token) && RandomBytes(iv, sizeof iv);
    if (ok) BuildHeaderFrom(password, payloadSize, salt, token, iv, h, headerKey);
    plat::SecureZero(token, sizeof token);
    return ok;
}

bool HeaderMatchesPassword(const char* password, const LockedFileHeader& h) {
    Key32 kh;
    HeaderKey(password, h, &kh);
    return HeaderMatchesKey(kh, h);
}

LockKeySource::LockKeySource(const char* password) : password_(password) {}

LockKeySource::~LockKeySource() {
    plat::SecureZero(headerKey_, sizeof headerKey_);
    plat::SecureZero(bodyKey_, sizeof bodyKey_);
    plat::SecureZero(&header_, sizeof header_);
}

bool LockKeySource::Take(LockedFileHeader* header, uint8_t headerKey[32], uint8_t bodyKey[32]) {
    if (!spare_) {
        uint8_t salt[2][32], token[2][32], iv[2][64];
        bool ok = true;
        for (int i = 0; i < 2 && ok; ++i)
            ok = RandomBytes(salt[i], 32) && RandomBytes(token[i], 32) && RandomBytes(iv[i], 64);
        LockedFileHeader h[2];
        if (ok) {
            FillHeader(0, salt[0], token[0], iv[0], &h[0]);
            FillHeader(0, salt[1], token[1], iv[1], &h[1]);
            // Kh of both, then (as each body seed is the stretch of its
            // sealed digest) both seeds.
            Key32 stretched[2], kh[2], k0[2];
            StretchSecretPair(password_, h[0].salt, stretched[0].bytes, h[1].salt, stretched[1].bytes);
            for (int i = 0; i < 2; ++i) {
                PadDigest(stretched[i].bytes, kh[i].bytes);
                SealHeader(kh[i], &h[i]);
            }
            StretchSecretPair(password_, h[0].sealedDigest, k0[0].bytes, h[1].sealedDigest, k0[1].bytes);
            *header = h[0];
            std::memcpy(headerKey, kh[0].bytes, kDigestSize);
            std::memcpy(bodyKey, k0[0].bytes, kDigestSize);
            header_ = h[1];
            std::memcpy(headerKey_, kh[1].bytes, kDigestSize);
            std::memcpy(bodyKey_, k0[1].bytes, kDigestSize);
            spare_ = true;
        }
        plat::SecureZero(token, sizeof token);
        plat::SecureZero(h, sizeof h);
        return ok;
    }
    *header = header_;
    std::memcpy(headerKey, headerKey_, kDigestSize);
    std::memcpy(bodyKey, bodyKey_, kDigestSize);
    plat::SecureZero(headerKey_, sizeof headerKey_);
    plat::SecureZero(bodyKey_, sizeof bodyKey_);
    spare_ = false;
    return true;
}

}  // namespace corva
