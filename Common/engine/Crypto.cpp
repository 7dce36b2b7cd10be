#include "Crypto.h"

#include "AesBlock.h"
#include "platform/Platform.h"

#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/aes.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <atomic>
#include <cstring>

namespace corva {

namespace {

std::atomic<bool> g_forcePortable{false};

std::atomic<RandomSource> g_randomSource{nullptr};

// The one 64-byte SHA-256 block of a 36-byte message: message, 0x80, zeros,
// and the bit length 288 big-endian in the last two bytes.
struct KeyCounterBlock {
    uint8_t bytes[64];
    KeyCounterBlock() {
        std::memset(bytes, 0, sizeof bytes);
        bytes[36] = 0x80;
        bytes[62] = 0x01;
        bytes[63] = 0x20;
    }
};

const SHA256_CTX& InitialShaState() {
    static const SHA256_CTX state = [] {
        SHA256_CTX c;
        SHA256_Init(&c);
        return c;
    }();
    return state;
}

}  // namespace

void Sha256(const void* data, size_t size, uint8_t out[kDigestSize]) {
    SHA256_CTX c;
    SHA256_Init(&c);
    SHA256_Update(&c, data, size);
    SHA256_Final(out, &c);
    plat::SecureZero(&c, sizeof c);
}

void Sha256KeyCounter(const uint8_t key[kDigestSize], uint32_t counter, uint8_t out[kDigestSize]) {
    // A 36-byte message fits one compression block: run the compression
    // directly instead of the buffered init/update/final sequence.
    KeyCounterBlock block;
    std::memcpy(block.bytes, key, kDigestSize);
    block.bytes[32] = static_cast<uint8_t>(counter);
    block.bytes[33] = static_cast<uint8_t>(counter >> 8);
    block.bytes[34] = static_cast<uint8_t>(counter >> 16);
    block.bytes[35] = static_cast<uint8_t>(counter >> 24);
    SHA256_CTX c = InitialShaState();
    SHA256_Transform(&c, block.bytes);
    for (int i = 0; i < 8; ++i) {
        uint32_t v = c.h[i];
        out[4 * i] = static_cast<uint8_t>(v >> 24);
        out[4 * i + 1] = static_cast<uint8_t>(v >> 16);
        out[4 * i + 2] = static_cast<uint8_t>(v >> 8);
        out[4 * i + 3] = static_cast<uint8_t>(v);
    }
    plat::SecureZero(&c, sizeof c);
    plat::SecureZero(block.bytes, 32);
}

bool RandomBytes(void* buffer, size_t size) {
    if (RandomSource source = g_randomSource.load()) return source(buffer, size);
    return RAND_bytes(static_cast<unsigned char*>(buffer), static_cast<int>(size)) == 1;
}

void SetRandomSourceForTesting(RandomSource source) { g_randomSource.store(source); }

void AesCbc256(const uint8_t key[kDigestSize], uint8_t iv[kAesBlock], uint8_t* data, size_t size, bool encrypt) {
    AES_KEY schedule;
    if (encrypt)
        AES_set_encrypt_key(key, 256, &schedule);
    else
        AES_set_decrypt_key(key, 256, &schedule);
    AES_cbc_encrypt(data, data, size, &schedule, iv, encrypt ? AES_ENCRYPT : AES_DECRYPT);
    plat::SecureZero(&schedule, sizeof schedule);
}

BodyCipher::BodyCipher(const uint8_t seed[kDigestSize], const uint8_t iv[kAesBlock], bool encrypt)
    : encrypt_(encrypt) {
    std::memcpy(key_, seed, kDigestSize);
    std::memcpy(iv_, iv, kAesBlock);
}

BodyCipher::~BodyCipher() {
    plat::SecureZero(key_, sizeof key_);
    plat::SecureZero(iv_, sizeof iv_);
}

void BodyCipher::ProcessOne(uint8_t* block, const uint8_t key[kDigestSize], bool fast) {
    if (fast) {
        if (encrypt_)
            AesNiCbcEncryptBlock(key, iv_, block);
        else
            AesNiCbcDecryptBlock(key, iv_, block);
    } else {
        AesCbc256(key, iv_, block, kAesBlock, encrypt_);
    }
}

void BodyCipher::Process(uint8_t* blocks, size_t count) {
    const bool fast = BodyCipherUsesAesInstructions();
    for (size_t b = 0; b < count; ++b) {
        Sha256KeyCounter(key_, counter_, key_);
        ++counter_;
        ProcessOne(blocks + b * kAesBlock, key_, fast);
    }
}

bool BodyCipherUsesAesInstructions() {
    return !g_forcePortable.load(std::memory_order_relaxed) && AesNiAvailable();
}

void ForcePortableBodyCipherForTesting(bool portable) {
    g_forcePortable.store(portable, std::memory_order_relaxed);
}

}  // namespace corva

void StretchSecret(const std::string& text, const uint8_t salt[corva::kSaltSize], uint8_t out[corva::kDigestSize]) {
    // The UTF-16 code units, little-endian, no terminator.
    std::u16string wide = plat::NarrowToUtf16(text);
    std::string bytes;
    bytes.reserve(wide.size() * 2);
    for (char16_t c : wide) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    SHA256_CTX c;
    SHA256_Init(&c);
    SHA256_Update(&c, salt, corva::kSaltSize);
    SHA256_Update(&c, bytes.data(), bytes.size());
    SHA256_Final(out, &c);
    for (uint32_t i = 0; i < 50000; ++i) corva::Sha256KeyCounter(out, i, out);
    plat::SecureZero(&c, sizeof c);
    plat::SecureZero(&bytes[0], bytes.size());
    plat::SecureZero(&wide[0], wide.size() * sizeof(char16_t));
}

void PadDigest(const uint8_t key[corva::kDigestSize], uint8_t out[corva::kDigestSize]) {
    uint8_t padded[corva::kDigestSize];
    for (size_t i = 0; i < corva::kDigestSize; ++i) padded[i] = key[i] ^ 0x36;
    corva::Sha256(padded, sizeof padded, out);
    plat::SecureZero(padded, sizeof padded);
}
