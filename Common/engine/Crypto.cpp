#include "Crypto.h"

#include "AesBlock.h"
#include "CipherHelper.h"
#include "CryptoSimd.h"
#include "platform/Platform.h"

#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/aes.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <atomic>
#include <chrono>
#include <cstring>

namespace corva {

namespace {

std::atomic<int> g_pathLimit{static_cast<int>(CryptoPath::ShaAndAesInstructions)};

std::atomic<RandomSource> g_randomSource{nullptr};

std::atomic<int> g_splitRuns{static_cast<int>(SplitRuns::Measured)};

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

BodyCipher::BodyCipher(const uint8_t seed[kDigestSize], const uint8_t iv[kAesBlock], bool encrypt, bool splitLongRuns)
    : encrypt_(encrypt), splitLongRuns_(splitLongRuns) {
    std::memcpy(key_, seed, kDigestSize);
    std::memcpy(iv_, iv, kAesBlock);
}

BodyCipher::~BodyCipher() {
    helper_.reset();
    plat::SecureZero(key_, sizeof key_);
    plat::SecureZero(iv_, sizeof iv_);
}

void BodyCipher::Process(uint8_t* blocks, size_t count) {
    const CryptoPath path = ActiveCryptoPath();
    const SplitRuns setting = SplitRunsSetting();
    if (count >= kSplitBlocks && splitLongRuns_ && setting != SplitRuns::Never) {
        if (!choice_) choice_.reset(new SplitChoice);
        const bool split = setting == SplitRuns::Always || choice_->Split();
        if (split && !helper_) helper_.reset(new CipherHelper(encrypt_));
        if (split && !helper_->Start()) {
            splitLongRuns_ = false;  // no thread: this one does it all
        } else {
            // A split run that falls behind one thread's pace is ended
            // here, and its pace so far is what it is measured by.
            const auto start = std::chrono::steady_clock::now();
            const size_t done = split ? helper_->Run(path, key_, iv_, &counter_, blocks, count,
                                                     setting == SplitRuns::Always ? 0 : choice_->GiveUpCost())
                                      : count;
            if (!split) ProcessHere(path, blocks, count);
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            choice_->Record(split, took.count() / static_cast<double>(done));
            if (done < count) ProcessHere(path, blocks + done * kAesBlock, count - done);
            return;
        }
    }
    ProcessHere(path, blocks, count);
}

void BodyCipher::ChainValue(uint8_t iv[kAesBlock]) const { std::memcpy(iv, iv_, kAesBlock); }

void BodyCipher::SetChainValue(const uint8_t iv[kAesBlock]) { std::memcpy(iv_, iv, kAesBlock); }

void BodyCipher::HashKeys(uint8_t* keys, size_t count) { HashBlockKeys(ActiveCryptoPath(), key_, &counter_, keys, count); }

void BodyCipher::ProcessHere(CryptoPath path, uint8_t* blocks, size_t count) {
    switch (path) {
    case CryptoPath::ShaAndAesInstructions:
        if (encrypt_)
            simd::BodyEncipher(key_, iv_, &counter_, blocks, count);
        else
            simd::BodyDecipher(key_, iv_, &counter_, blocks, count);
        return;
    case CryptoPath::AesInstructions:
        for (size_t b = 0; b < count; ++b) {
            Sha256KeyCounter(key_, counter_++, key_);
            if (encrypt_)
                AesNiCbcEncryptBlock(key_, iv_, blocks + b * kAesBlock);
            else
                AesNiCbcDecryptBlock(key_, iv_, blocks + b * kAesBlock);
        }
        return;
    case CryptoPath::Portable:
        for (size_t b = 0; b < count; ++b) {
            Sha256KeyCounter(key_, counter_++, key_);
            AesCbc256(key_, iv_, blocks + b * kAesBlock, kAesBlock, encrypt_);
        }
        return;
    }
}

CryptoPath CryptoPathFor(const CpuFeatures& f) {
    if (!f.aes || !f.ssse3 || !f.sse41) return CryptoPath::Portable;
    return f.sha ? CryptoPath::ShaAndAesInstructions : CryptoPath::AesInstructions;
}

CryptoPath BestCryptoPath() {
    static const CryptoPath best = CryptoPathFor(ReportedCpuFeatures());
    return best;
}

CryptoPath ActiveCryptoPath() {
    const CryptoPath best = BestCryptoPath();
    const int limit = g_pathLimit.load(std::memory_order_relaxed);
    return static_cast<int>(best) < limit ? best : static_cast<CryptoPath>(limit);
}

SplitRuns SplitRunsSetting() { return static_cast<SplitRuns>(g_splitRuns.load(std::memory_order_relaxed)); }

void SetSplitCipherRunsForTesting(SplitRuns runs) {
    g_splitRuns.store(static_cast<int>(runs), std::memory_order_relaxed);
}

void LimitCryptoPathForTesting(CryptoPath limit) {
    g_pathLimit.store(static_cast<int>(limit), std::memory_order_relaxed);
}

}  // namespace corva

namespace {

// D = SHA-256(salt || the text's UTF-16 code units, little-endian, no terminator).
void StretchStart(const std::string& text, const uint8_t salt[corva::kSaltSize], uint8_t out[corva::kDigestSize]) {
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
    plat::SecureZero(&c, sizeof c);
    if (!bytes.empty()) plat::SecureZero(&bytes[0], bytes.size());
    if (!wide.empty()) plat::SecureZero(&wide[0], wide.size() * sizeof(char16_t));
}

constexpr uint32_t kStretchRounds = 50000;

bool StretchOnShaInstructions() {
    return corva::ActiveCryptoPath() == corva::CryptoPath::ShaAndAesInstructions;
}

}  // namespace

void StretchSecret(const std::string& text, const uint8_t salt[corva::kSaltSize], uint8_t out[corva::kDigestSize]) {
    StretchStart(text, salt, out);
    if (StretchOnShaInstructions()) {
        corva::simd::StretchRounds(out, kStretchRounds);
        return;
    }
    for (uint32_t i = 0; i < kStretchRounds; ++i) corva::Sha256KeyCounter(out, i, out);
}

void StretchSecretPair(const std::string& text, const uint8_t saltA[corva::kSaltSize],
                       uint8_t outA[corva::kDigestSize], const uint8_t saltB[corva::kSaltSize],
                       uint8_t outB[corva::kDigestSize]) {
    if (!StretchOnShaInstructions()) {
        StretchSecret(text, saltA, outA);
        StretchSecret(text, saltB, outB);
        return;
    }
    uint8_t a[corva::kDigestSize], b[corva::kDigestSize];
    StretchStart(text, saltA, a);
    StretchStart(text, saltB, b);
    corva::simd::StretchRoundsPair(a, b, kStretchRounds);
    std::memcpy(outA, a, sizeof a);
    std::memcpy(outB, b, sizeof b);
    plat::SecureZero(a, sizeof a);
    plat::SecureZero(b, sizeof b);
}

void PadDigest(const uint8_t key[corva::kDigestSize], uint8_t out[corva::kDigestSize]) {
    uint8_t padded[corva::kDigestSize];
    for (size_t i = 0; i < corva::kDigestSize; ++i) padded[i] = key[i] ^ 0x36;
    corva::Sha256(padded, sizeof padded, out);
    plat::SecureZero(padded, sizeof padded);
}
