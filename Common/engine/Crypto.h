// Cryptographic building blocks of the engine: SHA-256, AES-256-CBC, random
// bytes (all from libcrypto), the password stretching and the header-key pad.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace corva {

constexpr size_t kDigestSize = 32;
constexpr size_t kSaltSize = 32;
constexpr size_t kAesBlock = 16;

void Sha256(const void* data, size_t size, uint8_t out[kDigestSize]);
// SHA-256 of key (32 bytes) followed by counter as 4 bytes little-endian,
// the step used by the stretching rounds and by the body's per-block rekeying.
void Sha256KeyCounter(const uint8_t key[kDigestSize], uint32_t counter, uint8_t out[kDigestSize]);
// Fills the buffer from the cryptographically strong generator.
bool RandomBytes(void* buffer, size_t size);
// Test hook: replaces the generator (nullptr restores it), so that known
// answers can be built from fixed salt, token and IV.
using RandomSource = bool (*)(void* buffer, size_t size);
void SetRandomSourceForTesting(RandomSource source);
// AES-256-CBC over a whole number of blocks, in place; iv is updated.
void AesCbc256(const uint8_t key[kDigestSize], uint8_t iv[kAesBlock], uint8_t* data, size_t size, bool encrypt);

// Cipher of a locked file's body: before every 16-byte block the running key
// becomes K = SHA-256(K || n), n counting blocks from 0, and the block is
// enciphered (or deciphered) with AES-256-CBC under K, chained through iv.
// A long run (from kSplitBlocks blocks on) may be split over two threads:
// this one hashes the chain of keys, a helper thread (CipherHelper.h) does
// the AES work; the helper starts with the first such run and ends with the
// BodyCipher. Whether a long run is split follows the wall times of the
// cipher's earlier long runs in either form (SplitChoice), so that a busy
// second core sends the runs back to this thread.
class CipherHelper;
class SplitChoice;
enum class CryptoPath;
class BodyCipher {
public:
    // splitLongRuns false: every run on the calling thread (when another
    // thread of the same operation keeps the other core busy already).
    BodyCipher(const uint8_t seed[kDigestSize], const uint8_t iv[kAesBlock], bool encrypt, bool splitLongRuns = true);
    ~BodyCipher();
    BodyCipher(const BodyCipher&) = delete;
    BodyCipher& operator=(const BodyCipher&) = delete;
    // Processes count consecutive blocks in place.
    void Process(uint8_t* blocks, size_t count);
    // Only the chain: the keys of the next count blocks, 32 bytes a block,
    // for a CipherStage to cipher the blocks with (Process is not used on
    // the same cipher then).
    void HashKeys(uint8_t* keys, size_t count);
    // The chaining value the next block takes, and setting it (when blocks
    // were ciphered elsewhere with this cipher's keys meanwhile).
    void ChainValue(uint8_t iv[kAesBlock]) const;
    void SetChainValue(const uint8_t iv[kAesBlock]);

    static constexpr size_t kSplitBlocks = 8192;

private:
    // The whole run on this thread.
    void ProcessHere(CryptoPath path, uint8_t* blocks, size_t count);

    uint8_t key_[kDigestSize];
    uint8_t iv_[kAesBlock];
    uint32_t counter_ = 0;
    bool encrypt_;
    std::unique_ptr<CipherHelper> helper_;
    std::unique_ptr<SplitChoice> choice_;
    bool splitLongRuns_;
};

// The code that serves stretching and the body cipher, chosen by checking
// the processor at run time: libcrypto alone, the AES instructions (with
// libcrypto's SHA-256), or the SHA and AES instructions together. Every
// path gives the same bytes.
enum class CryptoPath { Portable = 0, AesInstructions = 1, ShaAndAesInstructions = 2 };
// The instruction sets the paths use, as the processor reports them.
struct CpuFeatures {
    bool ssse3 = false;
    bool sse41 = false;
    bool aes = false;
    bool sha = false;
};
// What this processor reports (all false where the instruction-set paths are
// not built, as on other architectures).
CpuFeatures ReportedCpuFeatures();
// The fastest path a processor with these features can run: the AES path
// needs AES, SSSE3 and SSE4.1; the SHA path needs all of those and SHA.
CryptoPath CryptoPathFor(const CpuFeatures& features);
// The fastest path this processor runs: CryptoPathFor(ReportedCpuFeatures()).
CryptoPath BestCryptoPath();
// The path in use: the best one, unless a test capped it.
CryptoPath ActiveCryptoPath();
// Test hook: no path above limit is used (ShaAndAesInstructions restores
// the choice by processor).
void LimitCryptoPathForTesting(CryptoPath limit);
// Test and benchmark hook: which long runs of the body cipher are split over
// two threads, and which groups of a long body are staged (StageForm).
// Measured (the default) lets each one's SplitChoice decide; Never keeps
// every run and group on its calling thread; Always splits every one;
// Alternate stages every other group, from the first, so that both changes
// of form are taken (the body cipher's own runs are measured then).
enum class SplitRuns { Never, Measured, Always, Alternate };
void SetSplitCipherRunsForTesting(SplitRuns runs);
// The setting in use: Measured unless a test or benchmark set another.
SplitRuns SplitRunsSetting();

}  // namespace corva

// Turns a password or answer (narrow text) into a 32-byte key with the salt:
// SHA-256 over the salt and the text's UTF-16 form, then 50,000 rounds.
void StretchSecret(const std::string& text, const uint8_t salt[corva::kSaltSize], uint8_t out[corva::kDigestSize]);
// Two stretches of one text with two salts, interleaved on one thread: about
// the cost of one and a half. Same results as two StretchSecret calls.
void StretchSecretPair(const std::string& text, const uint8_t saltA[corva::kSaltSize],
                       uint8_t outA[corva::kDigestSize], const uint8_t saltB[corva::kSaltSize],
                       uint8_t outB[corva::kDigestSize]);
// SHA-256 of the key with every byte XORed with 0x36.
void PadDigest(const uint8_t key[corva::kDigestSize], uint8_t out[corva::kDigestSize]);
