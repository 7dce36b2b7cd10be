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

#else

void AesNiCbcEncryptBlock(const uint8_t*, uint8_t*, uint8_t*) {}
void AesNiCbcDecryptBlock(const uint8_t*, uint8_t*, uint8_t*) {}

#endif

}  // namespace corva
