// One-block AES-256-CBC with a fresh key schedule per call, on the
// processor's AES instructions. The body cipher changes its key before every
// block, so the key expansion dominates; doing it in registers keeps locking
// fast. Run only where BestCryptoPath() (Crypto.h) is an instruction-set
// path; libcrypto serves otherwise.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corva {

void AesNiCbcEncryptBlock(const uint8_t key[32], uint8_t iv[16], uint8_t block[16]);
void AesNiCbcDecryptBlock(const uint8_t key[32], uint8_t iv[16], uint8_t block[16]);
// count blocks in place, block i under its own key keys[32 i ..]: the
// blocks' key schedules are independent, so they are expanded four at a
// time and their latencies overlap (and, deciphering, the blocks too).
void AesNiCbcEncryptKeyed(const uint8_t* keys, uint8_t iv[16], uint8_t* blocks, size_t count);
void AesNiCbcDecryptKeyed(const uint8_t* keys, uint8_t iv[16], uint8_t* blocks, size_t count);

}  // namespace corva
