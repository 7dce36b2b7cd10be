#include "CryptoSimd.h"

#include "Crypto.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <cpuid.h>

#include "AesBlockRounds.h"
#define CORVA_HAVE_SHANI 1
#endif

namespace corva {
namespace simd {

#ifdef CORVA_HAVE_SHANI

#define CORVA_SHA_TARGET __attribute__((target("sha,aes,ssse3,sse4.1")))

namespace {

// SHA-256 round constants, four per vector.
alignas(16) const uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

// The digest is held as two vectors of host-order words, (H0..H3) and
// (H4..H7): exactly the first 32 bytes of the next message read big-endian,
// so a digest feeds the next round without leaving the registers.
struct Digest {
    __m128i lo, hi;
    // lo plus the first four round constants: the words of the first step.
    __m128i firstWords;
};

CORVA_SHA_TARGET inline __m128i WordSwap() {
    return _mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3);
}

CORVA_SHA_TARGET inline Digest LoadDigest(const uint8_t bytes[32]) {
    const __m128i swap = WordSwap();
    Digest d;
    d.lo = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)), swap);
    d.hi = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16)), swap);
    d.firstWords = _mm_add_epi32(d.lo, _mm_load_si128(reinterpret_cast<const __m128i*>(kRound)));
    return d;
}

CORVA_SHA_TARGET inline void StoreDigest(const Digest& d, uint8_t bytes[32]) {
    const __m128i swap = WordSwap();
    _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes), _mm_shuffle_epi8(d.lo, swap));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes + 16), _mm_shuffle_epi8(d.hi, swap));
}

// Work done inside a compression, in the gaps its round instructions leave:
// Step(i) runs in step i of 16 (four rounds each), Begin() before step 0.
struct NoSideWork {
    CORVA_SHA_TARGET void Begin() {}
    CORVA_SHA_TARGET void Step(int) {}
};

// SHA-256 of (digest || counter as 4 bytes little-endian) for N independent
// digests at once: one compression each of the single padded 64-byte block
// (36 message bytes, 0x80, zeros, bit length 288). The N chains share each
// step of the code, so the processor overlaps their round instructions;
// side's work is spread over the steps the same way.
template <int N, class Side>
CORVA_SHA_TARGET __attribute__((always_inline)) inline void CompressKeyCounter(Digest* d, uint32_t counter,
                                                                                Side& side) {
    // The SHA instructions keep the state as (A,B,E,F) and (C,D,G,H), lane 3
    // first: initial values FEBA / HGDC in lanes 0..3.
    const __m128i init0 = _mm_set_epi32(0x6a09e667, 0xbb67ae85, 0x510e527f, 0x9b05688c);
    const __m128i init1 = _mm_set_epi32(0x3c6ef372, 0xa54ff53a, 0x1f83d9ab, 0x5be0cd19);
    const __m128i initLo = _mm_set_epi32(0xa54ff53a, 0x3c6ef372, static_cast<int>(0xbb67ae85), 0x6a09e667);
    const __m128i initHi = _mm_set_epi32(0x5be0cd19, 0x1f83d9ab, static_cast<int>(0x9b05688c), 0x510e527f);
    const __m128i tail2 =
        _mm_set_epi32(0, 0, static_cast<int>(0x80000000u), static_cast<int>(__builtin_bswap32(counter)));
    const __m128i tail3 = _mm_set_epi32(288, 0, 0, 0);
    __m128i s0[N], s1[N], m[N][4];
#pragma GCC unroll 2
    for (int k = 0; k < N; ++k) {
        s0[k] = init0;
        s1[k] = init1;
        m[k][0] = d[k].lo;
        m[k][1] = d[k].hi;
        m[k][2] = tail2;
        m[k][3] = tail3;
    }
    side.Begin();
#pragma GCC unroll 16
    for (int i = 0; i < 16; ++i) {
        const __m128i rc = _mm_load_si128(reinterpret_cast<const __m128i*>(kRound + 4 * i));
#pragma GCC unroll 2
        for (int k = 0; k < N; ++k) {
            // Step 0 takes the words prepared with the digest: one addition
            // less between one compression and the next.
            const __m128i wk = i == 0 ? d[k].firstWords : _mm_add_epi32(m[k][i & 3], rc);
            s1[k] = _mm_sha256rnds2_epu32(s1[k], s0[k], wk);
            if (k == N - 1) side.Step(i);
            if (N == 1 && i >= 3 && i < 15) {
                // Words t..t+3 from next (words t-16..t-13 plus their sigma0
                // part, from SHA256MSG1), words t-7..t-5 and t-4, and the
                // sigma1 of words t-2, t-1 (SHA256MSG2). Word t-4, the
                // newest, matters only to word t+3, which no sigma1 inside
                // SHA256MSG2 reads: it is added after the instruction, so
                // that the schedule's chain from group to group is just
                // SHA256MSG2 and one addition, and keeps ahead of the rounds.
                __m128i& next = m[k][(i + 1) & 3];
                const __m128i newest = m[k][i & 3];
                next = _mm_add_epi32(next, _mm_srli_si128(m[k][(i + 3) & 3], 4));
                next = _mm_add_epi32(_mm_sha256msg2_epu32(next, newest), _mm_slli_si128(newest, 12));
            } else if (i >= 3 && i < 15) {
                // Several chains keep the shuffle units busy enough: one
                // shuffle per group instead of two, the addition before.
                __m128i& next = m[k][(i + 1) & 3];
                next = _mm_add_epi32(next, _mm_alignr_epi8(m[k][i & 3], m[k][(i + 3) & 3], 4));
                next = _mm_sha256msg2_epu32(next, m[k][i & 3]);
            }
            s0[k] = _mm_sha256rnds2_epu32(s0[k], s1[k], _mm_shuffle_epi32(wk, 0x0E));
            if (i >= 1 && i < 13) m[k][(i + 3) & 3] = _mm_sha256msg1_epu32(m[k][(i + 3) & 3], m[k][i & 3]);
        }
    }
#pragma GCC unroll 2
    for (int k = 0; k < N; ++k) {
        // Back from FEBA / HGDC to (A,B,C,D), (E,F,G,H) with one shuffle
        // each (lanes 3,2 of both, then lanes 1,0), plus the initial values.
        const __m128 f0 = _mm_castsi128_ps(s0[k]), f1 = _mm_castsi128_ps(s1[k]);
        const __m128i abcd = _mm_castps_si128(_mm_shuffle_ps(f0, f1, 0xBB));
        d[k].lo = _mm_add_epi32(abcd, initLo);
        d[k].hi = _mm_add_epi32(_mm_castps_si128(_mm_shuffle_ps(f0, f1, 0x11)), initHi);
        const __m128i firstRound = _mm_load_si128(reinterpret_cast<const __m128i*>(kRound));
        d[k].firstWords = _mm_add_epi32(abcd, _mm_add_epi32(initLo, firstRound));
    }
}

template <int N>
CORVA_SHA_TARGET __attribute__((always_inline)) inline void CompressKeyCounter(Digest* d, uint32_t counter) {
    NoSideWork none;
    CompressKeyCounter<N>(d, counter, none);
}

CORVA_SHA_TARGET inline void Clear(__m128i* v, int n) {
    for (int i = 0; i < n; ++i) v[i] = _mm_setzero_si128();
    __asm__ __volatile__("" : : "r"(v) : "memory");
}

}  // namespace

CORVA_SHA_TARGET void StretchRounds(uint8_t d[32], uint32_t rounds) {
    Digest s[1] = {LoadDigest(d)};
    for (uint32_t i = 0; i < rounds; ++i) CompressKeyCounter<1>(s, i);
    StoreDigest(s[0], d);
    Clear(&s[0].lo, 3);
}

CORVA_SHA_TARGET void StretchRoundsPair(uint8_t a[32], uint8_t b[32], uint32_t rounds) {
    Digest s[2] = {LoadDigest(a), LoadDigest(b)};
    for (uint32_t i = 0; i < rounds; ++i) CompressKeyCounter<2>(s, i);
    StoreDigest(s[0], a);
    StoreDigest(s[1], b);
    Clear(&s[0].lo, 6);
}

namespace {

// The AES key of a body block is the digest's bytes: the big-endian form of
// its words.
CORVA_SHA_TARGET inline void KeyHalves(const Digest& d, __m128i* first, __m128i* second) {
    const __m128i swap = WordSwap();
    *first = _mm_shuffle_epi8(d.lo, swap);
    *second = _mm_shuffle_epi8(d.hi, swap);
}

// Steps of a compression (of 16) left to the start of its message
// schedule before side work begins; the work fits in the 14 after them.
constexpr int kQuietSteps = 2;

// Runs a compression's side work on its own (no compression to hide in).
template <class Side>
CORVA_SHA_TARGET __attribute__((always_inline)) inline void RunAlone(Side& side) {
    side.Begin();
#pragma GCC unroll 16
    for (int i = 0; i < 16; ++i) side.Step(i);
}

// Enciphers one block (AES-256-CBC) as side work of the compression that
// makes the next block's key: each step expands one round key and uses it
// at once, so only the last two round keys are ever held.
struct EncipherBlock {
    Digest key;
    uint8_t* block;
    __m128i chain;
    __m128i prev, last, state;

    CORVA_SHA_TARGET void Begin() {
        KeyHalves(key, &prev, &last);
        state = _mm_xor_si128(_mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block)), chain), prev);
    }
    CORVA_SHA_TARGET __attribute__((always_inline)) void Step(int step) {
        // Nothing in the first steps, where the compression starts its
        // message schedule (whose chain is barely ahead of the rounds).
        const int i = step - kQuietSteps;
        if (i < 0) return;
        if (i < 13) {
            state = _mm_aesenc_si128(state, last);
            const __m128i next = aesni::NextRoundKey(prev, last, i);
            prev = last;
            last = next;
        } else if (i == 13) {
            chain = _mm_aesenclast_si128(state, last);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(block), chain);
        }
    }
};

// Deciphering needs the round keys last first, so it runs as two stages:
// one block's key schedule is expanded (with the inverse mix applied to the
// inner round keys, as AESDEC wants them) while the block before it is
// deciphered with the schedule expanded one compression earlier.
template <bool Expand, bool Decipher>
struct DecipherStage {
    Digest key;            // Expand: the key to expand into `into`
    __m128i* into;         // 15 round keys
    const __m128i* keys;   // Decipher: the schedule of `block`
    uint8_t* block;
    __m128i chain;
    __m128i prev, last, cipher, state;

    CORVA_SHA_TARGET void Begin() {
        if (Expand) {
            KeyHalves(key, &prev, &last);
            _mm_storeu_si128(into, prev);
            _mm_storeu_si128(into + 1, _mm_aesimc_si128(last));
        }
        if (Decipher) {
            cipher = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block));
            state = _mm_xor_si128(cipher, _mm_loadu_si128(keys + 14));
        }
    }
    CORVA_SHA_TARGET __attribute__((always_inline)) void Step(int step) {
        const int i = step - kQuietSteps;
        if (i < 0) return;
        if (Decipher) {
            if (i < 13) {
                state = _mm_aesdec_si128(state, _mm_loadu_si128(keys + 13 - i));
            } else if (i == 13) {
                state = _mm_aesdeclast_si128(state, _mm_loadu_si128(keys));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(block), _mm_xor_si128(state, chain));
                chain = cipher;
            }
        }
        if (Expand && i < 13) {
            const __m128i next = aesni::NextRoundKey(prev, last, i);
            _mm_storeu_si128(into + i + 2, i == 12 ? next : _mm_aesimc_si128(next));
            prev = last;
            last = next;
        }
    }
};

// The body cipher enciphering: the key of block b + 1 is hashed while block
// b is enciphered, both in one stream of instructions, so the SHA-256 chain
// (which alone bounds the speed) never waits for the AES work.
CORVA_SHA_TARGET void EncipherLoop(uint8_t key[32], uint8_t iv[16], uint32_t* counter, uint8_t* blocks,
                                   size_t count) {
    Digest d[1] = {LoadDigest(key)};
    uint32_t n = *counter;
    EncipherBlock side;
    side.chain = _mm_loadu_si128(reinterpret_cast<const __m128i*>(iv));
    CompressKeyCounter<1>(d, n++);
    for (size_t b = 0; b < count; ++b) {
        side.key = d[0];
        side.block = blocks + 16 * b;
        if (b + 1 < count)
            CompressKeyCounter<1>(d, n++, side);
        else
            RunAlone(side);
    }
    // d holds the key of the last block.
    *counter = n;
    StoreDigest(d[0], key);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(iv), side.chain);
    Clear(&side.key.lo, 3);
    Clear(&side.prev, 3);
    Clear(&d[0].lo, 3);
}

CORVA_SHA_TARGET void DecipherLoop(uint8_t key[32], uint8_t iv[16], uint32_t* counter, uint8_t* blocks,
                                   size_t count) {
    __m128i schedule[2][15];
    Digest d[1] = {LoadDigest(key)};
    uint32_t n = *counter;
    __m128i chain = _mm_loadu_si128(reinterpret_cast<const __m128i*>(iv));
    CompressKeyCounter<1>(d, n++);
    {
        // Block 0's schedule, while the key of block 1 is hashed.
        DecipherStage<true, false> first;
        first.key = d[0];
        first.into = schedule[0];
        if (count > 1)
            CompressKeyCounter<1>(d, n++, first);
        else
            RunAlone(first);
    }
    // From here on d holds the key of block b + 1 (of the last block at the end).
    for (size_t b = 0; b < count; ++b) {
        const __m128i* keys = schedule[b & 1];
        uint8_t* block = blocks + 16 * b;
        if (b + 1 < count) {
            DecipherStage<true, true> side;
            side.key = d[0];
            side.into = schedule[(b + 1) & 1];
            side.keys = keys;
            side.block = block;
            side.chain = chain;
            if (b + 2 < count)
                CompressKeyCounter<1>(d, n++, side);
            else
                RunAlone(side);
            chain = side.chain;
            Clear(&side.key.lo, 3);
        } else {
            DecipherStage<false, true> side;
            side.keys = keys;
            side.block = block;
            side.chain = chain;
            RunAlone(side);
            chain = side.chain;
        }
    }
    *counter = n;
    StoreDigest(d[0], key);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(iv), chain);
    Clear(&schedule[0][0], 30);
    Clear(&d[0].lo, 3);
}

}  // namespace

CORVA_SHA_TARGET void BodyEncipher(uint8_t key[32], uint8_t iv[16], uint32_t* counter, uint8_t* blocks,
                                   size_t count) {
    if (count > 0) EncipherLoop(key, iv, counter, blocks, count);
}

CORVA_SHA_TARGET void BodyDecipher(uint8_t key[32], uint8_t iv[16], uint32_t* counter, uint8_t* blocks,
                                   size_t count) {
    if (count > 0) DecipherLoop(key, iv, counter, blocks, count);
}

CORVA_SHA_TARGET void HashBodyKeys(uint8_t key[32], uint32_t* counter, uint8_t* keys, size_t count) {
    if (count == 0) return;
    Digest d[1] = {LoadDigest(key)};
    uint32_t n = *counter;
    for (size_t b = 0; b < count; ++b) {
        CompressKeyCounter<1>(d, n++);
        StoreDigest(d[0], keys + 32 * b);
    }
    *counter = n;
    StoreDigest(d[0], key);
    Clear(&d[0].lo, 3);
}

#else

void HashBodyKeys(uint8_t*, uint32_t*, uint8_t*, size_t) {}
void StretchRounds(uint8_t*, uint32_t) {}
void StretchRoundsPair(uint8_t*, uint8_t*, uint32_t) {}
void BodyEncipher(uint8_t*, uint8_t*, uint32_t*, uint8_t*, size_t) {}
void BodyDecipher(uint8_t*, uint8_t*, uint32_t*, uint8_t*, size_t) {}

#endif

}  // namespace simd

CpuFeatures ReportedCpuFeatures() {
    CpuFeatures f;
#ifdef CORVA_HAVE_SHANI
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return f;
    f.ssse3 = (ecx & bit_SSSE3) != 0;
    f.sse41 = (ecx & bit_SSE4_1) != 0;
    f.aes = (ecx & bit_AES) != 0;
    if (__get_cpuid_max(0, nullptr) >= 7) {
        __cpuid_count(7, 0, eax, ebx, ecx, edx);
        f.sha = (ebx & bit_SHA) != 0;
    }
#endif
    return f;
}

}  // namespace corva
