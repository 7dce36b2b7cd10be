#include "AesBlock.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include "AesBlockRounds.h"
#define CORVA_HAVE_AESNI 1
#endif

namespace corva {

#ifdef CORVA_HAVE_AESNI

CORVA_AES_TARGET void AesNiCbcEncryptBlock(const uint8_t key[32], uint8_t iv[16], uint8_t block[16]) {
    __m128i rk[15];
    aesni::ExpandKey(_mm_loadu_si128(reinterpret_cast<const __m128i*>(key)),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(key + 16)), rk);
    __m128i b = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block)),
                              _mm_loadu_si128(reinterpret_cast<const __m128i*>(iv)));
    b = aesni::EncryptBlock(b, rk);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(block), b);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(iv), b);
    for (auto& k : rk) k = _mm_setzero_si128();
    __asm__ __volatile__("" : : "r"(rk) : "memory");
}

CORVA_AES_TARGET void AesNiCbcDecryptBlock(const uint8_t key[32], uint8_t iv[16], uint8_t block[16]) {
    __m128i rk[15];
    aesni::ExpandKey(_mm_loadu_si128(reinterpret_cast<const __m128i*>(key)),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(key + 16)), rk);
    const __m128i cipher = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block));
    __m128i b = aesni::DecryptBlock(cipher, rk);
    b = _mm_xor_si128(b, _mm_loadu_si128(reinterpret_cast<const __m128i*>(iv)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(block), b);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(iv), cipher);
    for (auto& k : rk) k = _mm_setzero_si128();
    __asm__ __volatile__("" : : "r"(rk) : "memory");
}

namespace {

constexpr size_t kLanes = 4;

CORVA_AES_TARGET inline __m128i Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
CORVA_AES_TARGET inline void Store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// The round keys of kLanes consecutive blocks, expanded side by side.
CORVA_AES_TARGET inline void ExpandLanes(const uint8_t* keys, __m128i rk[kLanes][15]) {
    for (size_t j = 0; j < kLanes; ++j) {
        rk[j][0] = Load(keys + 32 * j);
        rk[j][1] = Load(keys + 32 * j + 16);
    }
#pragma GCC unroll 13
    for (int i = 0; i < 13; ++i)
        for (size_t j = 0; j < kLanes; ++j) rk[j][i + 2] = aesni::NextRoundKey(rk[j][i], rk[j][i + 1], i);
}

CORVA_AES_TARGET inline void WipeLanes(__m128i rk[kLanes][15]) {
    for (size_t j = 0; j < kLanes; ++j)
        for (auto& k : rk[j]) k = _mm_setzero_si128();
    __asm__ __volatile__("" : : "r"(rk) : "memory");
}

}  // namespace

CORVA_AES_TARGET void AesNiCbcEncryptKeyed(const uint8_t* keys, uint8_t iv[16], uint8_t* blocks, size_t count) {
    __m128i rk[kLanes][15];
    __m128i chain = Load(iv);
    size_t b = 0;
    for (; b + kLanes <= count; b += kLanes) {
        ExpandLanes(keys + 32 * b, rk);
        for (size_t j = 0; j < kLanes; ++j) {
            chain = aesni::EncryptBlock(_mm_xor_si128(Load(blocks + 16 * (b + j)), chain), rk[j]);
            Store(blocks + 16 * (b + j), chain);
        }
    }
    WipeLanes(rk);
    Store(iv, chain);
    for (; b < count; ++b) AesNiCbcEncryptBlock(keys + 32 * b, iv, blocks + 16 * b);
}

CORVA_AES_TARGET void AesNiCbcDecryptKeyed(const uint8_t* keys, uint8_t iv[16], uint8_t* blocks, size_t count) {
    __m128i rk[kLanes][15];
    __m128i chain = Load(iv);
    size_t b = 0;
    for (; b + kLanes <= count; b += kLanes) {
        ExpandLanes(keys + 32 * b, rk);
        __m128i c[kLanes], x[kLanes];
        for (size_t j = 0; j < kLanes; ++j) {
            c[j] = Load(blocks + 16 * (b + j));
            x[j] = _mm_xor_si128(c[j], rk[j][14]);
        }
#pragma GCC unroll 13
        for (int r = 13; r > 0; --r)
            for (size_t j = 0; j < kLanes; ++j) x[j] = _mm_aesdec_si128(x[j], _mm_aesimc_si128(rk[j][r]));
        for (size_t j = 0; j < kLanes; ++j) {
            Store(blocks + 16 * (b + j), _mm_xor_si128(_mm_aesdeclast_si128(x[j], rk[j][0]), chain));
            chain = c[j];
        }
    }
    WipeLanes(rk);
    Store(iv, chain);
    for (; b < count; ++b) AesNiCbcDecryptBlock(keys + 32 * b, iv, blocks + 16 * b);
}

#else

void AesNiCbcEncryptBlock(const uint8_t*, uint8_t*, uint8_t*) {}
void AesNiCbcDecryptBlock(const uint8_t*, uint8_t*, uint8_t*) {}
void AesNiCbcEncryptKeyed(const uint8_t*, uint8_t*, uint8_t*, size_t) {}
void AesNiCbcDecryptKeyed(const uint8_t*, uint8_t*, uint8_t*, size_t) {}

#endif

}  // namespace corva
