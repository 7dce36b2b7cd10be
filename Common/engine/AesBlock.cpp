#include "AesBlock.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <cpuid.h>
#include <immintrin.h>
#define CORVA_HAVE_AESNI 1
#endif

namespace corva {

#ifdef CORVA_HAVE_AESNI

#define CORVA_AES_TARGET __attribute__((target("aes,ssse3,sse4.1")))

namespace {

// Key expansion with AESENCLAST instead of AESKEYGENASSIST: with all four
// columns equal, ShiftRows does nothing, so AESENCLAST of a broadcast word
// yields SubWord of it (xor the round constant), and it is much quicker than
// AESKEYGENASSIST on many processors.
CORVA_AES_TARGET inline __m128i Spread(__m128i a) {
    a = _mm_xor_si128(a, _mm_slli_si128(a, 4));
    a = _mm_xor_si128(a, _mm_slli_si128(a, 4));
    return _mm_xor_si128(a, _mm_slli_si128(a, 4));
}

// The 15 round keys of AES-256 (FIPS-197 key expansion).
CORVA_AES_TARGET void ExpandKey(const uint8_t key[32], __m128i rk[15]) {
    // Bytes 13,14,15,12 of the last word in every column: RotWord(w3).
    const __m128i rotate = _mm_set_epi8(12, 15, 14, 13, 12, 15, 14, 13, 12, 15, 14, 13, 12, 15, 14, 13);
    const __m128i zero = _mm_setzero_si128();
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(key));
    __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(key + 16));
    rk[0] = a;
    rk[1] = c;
    int rcon = 1;
    for (int i = 2; i < 15; i += 2) {
        a = _mm_xor_si128(Spread(a), _mm_aesenclast_si128(_mm_shuffle_epi8(c, rotate), _mm_set1_epi32(rcon)));
        rk[i] = a;
        rcon <<= 1;
        if (i + 1 < 15) {
            c = _mm_xor_si128(Spread(c), _mm_aesenclast_si128(_mm_shuffle_epi32(a, 0xFF), zero));
            rk[i + 1] = c;
        }
    }
}

bool Detect() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
    const bool aes = (ecx & bit_AES) != 0;
    const bool sse41 = (ecx & bit_SSE4_1) != 0 && (ecx & bit_SSSE3) != 0;
    return aes && sse41;
}

}  // namespace

bool AesNiAvailable() {
    static const bool available = Detect();
    return available;
}

CORVA_AES_TARGET void AesNiCbcEncryptBlock(const uint8_t key[32], uint8_t iv[16], uint8_t block[16]) {
    __m128i rk[15];
    ExpandKey(key, rk);
    __m128i b = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block)),
                              _mm_loadu_si128(reinterpret_cast<const __m128i*>(iv)));
    b = _mm_xor_si128(b, rk[0]);
    for (int r = 1; r < 14; ++r) b = _mm_aesenc_si128(b, rk[r]);
    b = _mm_aesenclast_si128(b, rk[14]);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(block), b);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(iv), b);
    for (auto& k : rk) k = _mm_setzero_si128();
    __asm__ __volatile__("" : : "r"(rk) : "memory");
}

CORVA_AES_TARGET void AesNiCbcDecryptBlock(const uint8_t key[32], uint8_t iv[16], uint8_t block[16]) {
    __m128i rk[15];
    ExpandKey(key, rk);
    const __m128i cipher = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block));
    __m128i b = _mm_xor_si128(cipher, rk[14]);
    for (int r = 13; r > 0; --r) b = _mm_aesdec_si128(b, _mm_aesimc_si128(rk[r]));
    b = _mm_aesdeclast_si128(b, rk[0]);
    b = _mm_xor_si128(b, _mm_loadu_si128(reinterpret_cast<const __m128i*>(iv)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(block), b);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(iv), cipher);
    for (auto& k : rk) k = _mm_setzero_si128();
    __asm__ __volatile__("" : : "r"(rk) : "memory");
}

#else

bool AesNiAvailable() { return false; }
void AesNiCbcEncryptBlock(const uint8_t*, uint8_t*, uint8_t*) {}
void AesNiCbcDecryptBlock(const uint8_t*, uint8_t*, uint8_t*) {}

#endif

}  // namespace corva
