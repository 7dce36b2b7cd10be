// AES-256 on the processor's AES instructions, as inline pieces for the code
// that keeps keys in registers (AesBlock.cpp, CryptoSimd.cpp). Included only
// by files built for x86 with GCC or Clang; callers check the processor
// first. Nothing here touches memory except through unaligned loads and
// stores, so it runs on a stack aligned to 4 bytes only.
#pragma once

#include <immintrin.h>

#define CORVA_AES_TARGET __attribute__((target("aes,ssse3,sse4.1")))

namespace corva {
namespace aesni {

// Key expansion with AESENCLAST instead of AESKEYGENASSIST: with all four
// columns equal, ShiftRows does nothing, so AESENCLAST of a broadcast word
// yields SubWord of it (xor the round constant), and it is much quicker than
// AESKEYGENASSIST on many processors.
// Word i of the result is the xor of words 0..i of a (two byte shifts, not
// three: the shuffle units are shared with the SHA-256 rounds).
CORVA_AES_TARGET inline __m128i Spread(__m128i a) {
    a = _mm_xor_si128(a, _mm_slli_si128(a, 4));
    return _mm_xor_si128(a, _mm_slli_si128(a, 8));
}

// The 15 round keys of AES-256 (FIPS-197 key expansion) from the key's
// first and second 16 bytes.
CORVA_AES_TARGET inline void ExpandKey(__m128i a, __m128i c, __m128i rk[15]) {
    // Bytes 13,14,15,12 of the last word in every column: RotWord(w3).
    const __m128i rotate = _mm_set_epi8(12, 15, 14, 13, 12, 15, 14, 13, 12, 15, 14, 13, 12, 15, 14, 13);
    const __m128i zero = _mm_setzero_si128();
    rk[0] = a;
    rk[1] = c;
    int rcon = 1;
#pragma GCC unroll 7
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

CORVA_AES_TARGET inline __m128i EncryptBlock(__m128i b, const __m128i rk[15]) {
    b = _mm_xor_si128(b, rk[0]);
#pragma GCC unroll 13
    for (int r = 1; r < 14; ++r) b = _mm_aesenc_si128(b, rk[r]);
    return _mm_aesenclast_si128(b, rk[14]);
}

// Decryption with the encryption schedule: the inverse mix of every inner
// round key is taken on the way.
CORVA_AES_TARGET inline __m128i DecryptBlock(__m128i b, const __m128i rk[15]) {
    b = _mm_xor_si128(b, rk[14]);
#pragma GCC unroll 13
    for (int r = 13; r > 0; --r) b = _mm_aesdec_si128(b, _mm_aesimc_si128(rk[r]));
    return _mm_aesdeclast_si128(b, rk[0]);
}

}  // namespace aesni
}  // namespace corva
