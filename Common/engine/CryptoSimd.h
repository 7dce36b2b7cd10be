// The engine's hot loops on the processor's SHA and AES instructions, with
// all running state held in registers: the stretching rounds (one chain, or
// two independent chains interleaved on one thread) and the locked-file body
// cipher (per-block rekeying fused with AES-256-CBC). Run only where
// BestCryptoPath() (Crypto.h) is the SHA path: on any other processor they
// stop at the first instruction. The results are bit for bit those of the
// libcrypto path.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corva {
namespace simd {

// rounds times: d = SHA-256(d || i as 4 bytes little-endian), i from 0.
void StretchRounds(uint8_t d[32], uint32_t rounds);
// The same on two independent digests at once.
void StretchRoundsPair(uint8_t a[32], uint8_t b[32], uint32_t rounds);

// count blocks of the body cipher in place: before each block
// key = SHA-256(key || *counter), ++*counter, then AES-256-CBC under key
// chained through iv. key, iv and counter are updated.
void BodyEncipher(uint8_t key[32], uint8_t iv[16], uint32_t* counter, uint8_t* blocks, size_t count);
void BodyDecipher(uint8_t key[32], uint8_t iv[16], uint32_t* counter, uint8_t* blocks, size_t count);

// The keys of the next count body blocks, one after another into keys (32
// bytes each): key = SHA-256(key || *counter), ++*counter. key and counter
// are updated.
void HashBodyKeys(uint8_t key[32], uint32_t* counter, uint8_t* keys, size_t count);

}  // namespace simd
}  // namespace corva
