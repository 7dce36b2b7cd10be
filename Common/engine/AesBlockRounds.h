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
// Word i of the result is the xor of words 0..i of a, with a single
// shuffle (the shuffle units are shared with the SHA-256 rounds): a shift
// within 64-bit lanes, which runs on the vector adders, gives words
// (a0, a0^a1, a2, a2^a3); words 2 and 3 then take a0^a1 as well.
CORVA_AES_TARGET inline __m128i Spread(__m128i a) {
    const __m128i upper = _mm_set_epi32(-1, -1, 0, 0);
    a = _mm_xor_si128(a, _mm_slli_epi64(a, 32));
    return _mm_xor_si128(a, _mm_and_si128(_mm_shuffle_epi32(a, 0x55), upper));
}

// Round key i + 2 of AES-256 (FIPS-197 key expansion) from round keys i
// and i + 1, for i from 0 to 12.
CORVA_AES_TARGET inline __m128i NextRoundKey(__m128i prev, __m128i last, int i) {
    if (i % 2 == 0) {
        // Bytes 13,14,15,12 of the last word in every column: RotWord(w3).
        const __m128i rotate = _mm_set_epi8(12, 15, 14, 13, 12, 15, 14, 13, 12, 15, 14, 13, 12, 15, 14, 13);
        return _mm_xor_si128(Spread(prev),
                             _mm_aesenclast_si128(_mm_shuffle_epi8(last, rotate), _mm_set1_epi32(1 << (i / 2))));
    }
    return _mm_xor_si128(Spread(prev), _mm_aesenclast_si128(_mm_shuffle_epi32(last, 0xFF), _mm_setzero_si128()));
}

// The 15 round keys of AES-256 from the key's first and second 16 bytes.
CORVA_AES_TARGET inline void ExpandKey(__m128i a, __m128i c, __m128i rk[15]) {
    rk[0] = a;
    rk[1] = c;
#pragma GCC unroll 13
    for (int i = 0; i < 13; ++i) rk[i + 2] = NextRoundKey(rk[i], rk[i + 1], i);
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
