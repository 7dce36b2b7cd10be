#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/AesBlock.h"
#include "engine/CipherHelper.h"
#include "engine/CipherStage.h"
#include "engine/Crypto.h"
#include "CryptoPaths.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {
// FIPS-197, appendix C.3 (AES-256).
const char kFipsKey[] = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";
const char kFipsPlain[] = "00112233445566778899aabbccddeeff";
const char kFipsCipher[] = "8ea2b7ca516745bfeafc49904b496089";
}  // namespace

TEST(Crypto, StretchSecretIsDeterministicAndSaltSensitive) {
    Bytes salt = PseudoRandom(32, 7);
    uint8_t a[32], b[32], c[32];
    StretchSecret("open sesame", salt.data(), a);
    StretchSecret("open sesame", salt.data(), b);
    EXPECT_EQ(ToHex(a, 32), ToHex(b, 32));
    salt[31] ^= 1;
    StretchSecret("open sesame", salt.data(), c);
    EXPECT_NE(ToHex(a, 32), ToHex(c, 32));
}

TEST(Crypto, KeyCounterStepIsSha256OfKeyAndLittleEndianCounter) {
    Bytes key = PseudoRandom(32, 3);
    for (uint32_t n : {0u, 1u, 255u, 256u, 0x01020304u, 0xFFFFFFFFu}) {
        uint8_t message[36];
        std::memcpy(message, key.data(), 32);
        message[32] = static_cast<uint8_t>(n);
        message[33] = static_cast<uint8_t>(n >> 8);
        message[34] = static_cast<uint8_t>(n >> 16);
        message[35] = static_cast<uint8_t>(n >> 24);
        uint8_t expected[32], got[32];
        corva::Sha256(message, sizeof message, expected);
        corva::Sha256KeyCounter(key.data(), n, got);
        EXPECT_EQ(ToHex(got, 32), ToHex(expected, 32)) << n;
    }
}

TEST(Crypto, AesCbcMatchesFips197) {
    Bytes key = FromHex(kFipsKey), block = FromHex(kFipsPlain);
    uint8_t iv[16] = {};
    corva::AesCbc256(key.data(), iv, block.data(), 16, true);
    EXPECT_EQ(ToHex(block), kFipsCipher);
    EXPECT_EQ(ToHex(iv, 16), kFipsCipher) << "the vector continues the chain";
    uint8_t iv2[16] = {};
    corva::AesCbc256(key.data(), iv2, block.data(), 16, false);
    EXPECT_EQ(ToHex(block), kFipsPlain);
}

TEST(Crypto, AesInstructionPathMatchesFips197) {
    if (corva::BestCryptoPath() < corva::CryptoPath::AesInstructions)
        GTEST_SKIP() << "no AES instructions on this processor";
    Bytes key = FromHex(kFipsKey), block = FromHex(kFipsPlain);
    uint8_t iv[16] = {};
    corva::AesNiCbcEncryptBlock(key.data(), iv, block.data());
    EXPECT_EQ(ToHex(block), kFipsCipher);
    uint8_t iv2[16] = {};
    corva::AesNiCbcDecryptBlock(key.data(), iv2, block.data());
    EXPECT_EQ(ToHex(block), kFipsPlain);
    EXPECT_EQ(ToHex(iv2, 16), kFipsCipher);
}

// Every path must agree with the portable one block for block, in both
// directions, over many rekeyings, whatever the split into calls (the
// instruction-set loops handle the first, the last and a lone block apart
// from the others, and deciphering runs two blocks apart, so calls of 0, 1,
// 2 and 3 blocks each take other ways through them).
TEST(Crypto, BodyCipherPathsAgreeForAnySplitIntoCalls) {
    const Bytes seed = PseudoRandom(32, 11), iv = PseudoRandom(16, 12);
    const Bytes plain = PseudoRandom(16 * 300, 13);
    const size_t splits[] = {1, 2, 0, 3, 4, 5, 7, 8, 100, 170};  // sums to 300
    Bytes reference;
    for (corva::CryptoPath path : RunnablePaths()) {
        PathLimit limit(path);
        ASSERT_EQ(corva::ActiveCryptoPath(), path);
        Bytes data = plain;
        corva::BodyCipher enc(seed.data(), iv.data(), true);
        enc.Process(data.data(), 300);
        if (reference.empty()) reference = data;
        EXPECT_EQ(data, reference) << "enciphering, path " << static_cast<int>(path);
        corva::BodyCipher dec(seed.data(), iv.data(), false);
        size_t at = 0;
        for (size_t n : splits) {
            dec.Process(data.data() + 16 * at, n);
            at += n;
        }
        ASSERT_EQ(at, 300u);
        EXPECT_EQ(data, plain) << "deciphering, path " << static_cast<int>(path);

        Bytes split = plain;
        corva::BodyCipher enc2(seed.data(), iv.data(), true);
        at = 0;
        for (size_t n : splits) {
            enc2.Process(split.data() + 16 * at, n);
            at += n;
        }
        EXPECT_EQ(split, reference) << "enciphering in pieces, path " << static_cast<int>(path);
    }
    EXPECT_NE(reference, plain);
}

// From BodyCipher::kSplitBlocks blocks on, a call's keys are hashed on the
// calling thread and its blocks ciphered on a helper thread, batch by batch:
// the bytes, the chain and the key carried into the next call must be those
// of one thread, on every path, for calls that end inside a batch, calls
// below the split (between split ones) and a cipher reused after them; and
// so when the measured choice moves long runs from one form to the other
// (its first long run is split, its second is not).
TEST(Crypto, LongRunsOnTwoThreadsGiveTheBytesOfOne) {
    const Bytes seed = PseudoRandom(32, 31), iv = PseudoRandom(16, 32);
    const size_t split = corva::BodyCipher::kSplitBlocks;
    const size_t calls[] = {split + 1000, 5, 2 * split + 3, split, split + 17};
    size_t total = 0;
    for (size_t n : calls) total += n;
    const Bytes plain = PseudoRandom(16 * total, 33);
    for (corva::CryptoPath path : RunnablePaths()) {
        PathLimit limit(path);
        for (bool encrypt : {true, false}) {
            // The whole buffer, call by call, with one cipher.
            auto run = [&](corva::SplitRuns splitRuns) {
                CipherForm set(splitRuns);
                Bytes data = plain;
                corva::BodyCipher cipher(seed.data(), iv.data(), encrypt);
                size_t at = 0;
                for (size_t n : calls) {
                    cipher.Process(data.data() + 16 * at, n);
                    at += n;
                }
                return data;
            };
            const Bytes expected = run(corva::SplitRuns::Never);
            for (corva::SplitRuns form : {corva::SplitRuns::Always, corva::SplitRuns::Measured}) {
                EXPECT_EQ(run(form), expected) << (encrypt ? "enciphering" : "deciphering") << ", path "
                                               << static_cast<int>(path) << ", form " << static_cast<int>(form);
            }
            EXPECT_NE(expected, plain);
        }
    }
}

// A split run that gives up part-way (here at once: no pace is good enough)
// must hand back the key, chain and counter of the blocks it did, so that
// the rest, done apart, gives the bytes of one thread.
TEST(Crypto, SplitRunEndedEarlyHandsBackItsChain) {
    const Bytes seed = PseudoRandom(32, 41), iv = PseudoRandom(16, 42);
    const size_t count = 3 * corva::BodyCipher::kSplitBlocks + 7;
    const Bytes plain = PseudoRandom(16 * count, 43);
    for (corva::CryptoPath path : RunnablePaths()) {
        PathLimit limit(path);
        for (bool encrypt : {true, false}) {
            Bytes expected = plain;
            {
                CipherForm oneThread(corva::SplitRuns::Never);
                corva::BodyCipher(seed.data(), iv.data(), encrypt).Process(expected.data(), count);
            }

            Bytes data = plain;
            uint8_t key[32], chain[16];
            std::memcpy(key, seed.data(), 32);
            std::memcpy(chain, iv.data(), 16);
            uint32_t counter = 0;
            corva::CipherHelper helper(encrypt);
            ASSERT_TRUE(helper.Start());
            const size_t done = helper.Run(path, key, chain, &counter, data.data(), count, 1e-15);
            EXPECT_GT(done, 0u);
            EXPECT_LT(done, count);
            EXPECT_EQ(counter, done);
            EXPECT_EQ(helper.Run(path, key, chain, &counter, data.data() + 16 * done, count - done), count - done);
            EXPECT_EQ(data, expected) << (encrypt ? "enciphering" : "deciphering") << ", path "
                                      << static_cast<int>(path);
        }
    }
}

namespace {

// What a CipherStage hands on, in order; refuses the write numbered refuseAt.
class KeptBlocks final : public corva::ByteSink {
public:
    bool Write(const uint8_t* data, size_t size) override {
        if (writes.load() == refuseAt) return false;
        bytes.insert(bytes.end(), data, data + size);
        writes.fetch_add(1);
        return true;
    }
    bool Finish() override { return false; }  // the stage never finishes its next
    Bytes bytes;
    int refuseAt = -1;
    std::atomic<int> writes{0};
};

}  // namespace

// A whole body through a CipherStage (keys hashed here, blocks ciphered on
// its worker) must give the bytes of one BodyCipher, in both directions and
// on every path, cut to what each slot passes on; the caller never runs more
// than kSlots slots ahead of the worker; a refusal downstream stops the
// caller and the drain, and a stage dropped with slots in flight ends.
TEST(Crypto, CipherStageGivesTheBytesOfOneThreadInOrder) {
    const Bytes seed = PseudoRandom(32, 51), iv = PseudoRandom(16, 52);
    const size_t full = corva::CipherStage::kBlocks;
    const size_t slots[] = {full, 7, full, full, full, 1, full, 300};
    size_t total = 0;
    for (size_t n : slots) total += n;
    const Bytes plain = PseudoRandom(16 * total, 53);
    const size_t cut = 16 * total - 9;  // the last slot passes on all but 9 bytes
    for (corva::CryptoPath path : RunnablePaths()) {
        PathLimit limit(path);
        for (bool encrypt : {true, false}) {
            Bytes expected = plain;
            corva::BodyCipher(seed.data(), iv.data(), encrypt).Process(expected.data(), total);
            expected.resize(cut);
            corva::BodyCipher chain(seed.data(), iv.data(), encrypt);
            KeptBlocks next;
            {
                corva::CipherStage stage(encrypt, iv.data(), &next);
                size_t at = 0;
                int submitted = 0;
                for (size_t n : slots) {
                    corva::CipherStage::Slot* slot = stage.Next();
                    ASSERT_NE(slot, nullptr);
                    EXPECT_LE(submitted - next.writes.load(), static_cast<int>(corva::CipherStage::kSlots) - 1);
                    std::memcpy(slot->blocks, plain.data() + 16 * at, 16 * n);
                    chain.HashKeys(slot->keys, n);
                    at += n;
                    stage.Submit(n, at * 16 > cut ? 16 * n - 9 : 16 * n);
                    ++submitted;
                }
                EXPECT_TRUE(stage.Drain());
                EXPECT_EQ(next.writes.load(), submitted);
            }
            EXPECT_EQ(next.bytes, expected) << (encrypt ? "enciphering" : "deciphering") << ", path "
                                            << static_cast<int>(path);
        }
    }

    KeptBlocks refusing;
    refusing.refuseAt = 2;
    corva::BodyCipher chain(seed.data(), iv.data(), true);
    corva::CipherStage stage(true, iv.data(), &refusing);
    int handed = 0;
    for (; handed < 50; ++handed) {
        corva::CipherStage::Slot* slot = stage.Next();
        if (!slot) break;
        chain.HashKeys(slot->keys, 4);
        stage.Submit(4, 64);
    }
    EXPECT_LT(handed, 50) << "the caller was never stopped";
    EXPECT_FALSE(stage.Drain());
    EXPECT_EQ(refusing.writes.load(), 2);

    KeptBlocks dropped;
    {
        corva::CipherStage unfinished(false, iv.data(), &dropped);
        for (size_t i = 0; i < corva::CipherStage::kSlots; ++i) {
            chain.HashKeys(unfinished.Next()->keys, full);
            unfinished.Submit(full, 16 * full);
        }
    }
    EXPECT_LE(dropped.writes.load(), static_cast<int>(corva::CipherStage::kSlots));
}

// The forms of the long runs a SplitChoice picks when each run costs what
// splitCost (split over two threads) or hereCost (one thread) says: 'S' for
// a split run, '1' for one on the calling thread.
std::string ChosenForms(corva::SplitChoice& choice, int runs, double splitCost, double hereCost) {
    std::string forms;
    for (int i = 0; i < runs; ++i) {
        const bool split = choice.Split();
        forms += split ? 'S' : '1';
        choice.Record(split, split ? splitCost : hereCost);
    }
    return forms;
}

// With the second core busy, splitting a long run costs about twice the
// time on one thread: the cipher must then stay on one thread, trying the
// split again less and less often, and take it up again once it is the
// cheaper form (the load gone), or leave it at once when it turns dear.
TEST(Crypto, SplitChoiceTakesTheCheaperFormAndTriesTheOtherNowAndThen) {
    const unsigned first = corva::SplitChoice::kFirstGap, most = corva::SplitChoice::kMaxGap;
    auto gap = [](unsigned n, char form) { return std::string(n, form); };
    corva::SplitChoice choice;
    // Split first, then one thread; both measured, one thread wins.
    std::string expected = "S1";
    for (unsigned n = first; n < most; n *= 2) expected += gap(n, '1') + "S";
    expected += gap(most, '1') + "S" + gap(most, '1') + "S";
    EXPECT_EQ(ChosenForms(choice, static_cast<int>(expected.size()), 2.0, 1.0), expected);
    // The other core free again: the next try of the split wins and keeps it,
    // with the same back-off for one thread.
    const std::string freed = ChosenForms(choice, static_cast<int>(most) + 1 + static_cast<int>(first) + 1, 0.5, 1.0);
    EXPECT_EQ(freed, gap(most, '1') + "S" + gap(first, 'S') + "1");
    EXPECT_EQ(ChosenForms(choice, 2 * static_cast<int>(first) + 1, 0.5, 1.0), gap(2 * first, 'S') + "1");
    // One disturbed split run is averaged with the earlier ones and does
    // not hand over; split runs turning dear hand over on the next run.
    EXPECT_EQ(ChosenForms(choice, 1, 1.2, 1.0) + ChosenForms(choice, 1, 0.5, 1.0), "SS");
    EXPECT_EQ(ChosenForms(choice, 3, 3.0, 1.0), "S11");
}

TEST(Crypto, ForcedFallbackRunsOnLibcryptoAlone) {
    PathLimit limit(corva::CryptoPath::Portable);
    EXPECT_EQ(corva::ActiveCryptoPath(), corva::CryptoPath::Portable);
    // The stretch and the cipher still give the same results as on the best path.
    const Bytes salt = PseudoRandom(32, 21), seed = PseudoRandom(32, 22), iv = PseudoRandom(16, 23);
    uint8_t portable[32], best[32];
    StretchSecret("fallback", salt.data(), portable);
    Bytes a = PseudoRandom(16 * 9, 24), b = a;
    corva::BodyCipher(seed.data(), iv.data(), true).Process(a.data(), 9);
    corva::LimitCryptoPathForTesting(corva::CryptoPath::ShaAndAesInstructions);
    EXPECT_EQ(corva::ActiveCryptoPath(), corva::BestCryptoPath());
    StretchSecret("fallback", salt.data(), best);
    corva::BodyCipher(seed.data(), iv.data(), true).Process(b.data(), 9);
    EXPECT_EQ(ToHex(portable, 32), ToHex(best, 32));
    EXPECT_EQ(a, b);
}

TEST(Crypto, StretchPairEqualsTwoStretchesOnEveryPath) {
    const Bytes saltA = PseudoRandom(32, 31), saltB = PseudoRandom(32, 32);
    for (corva::CryptoPath path : RunnablePaths()) {
        PathLimit limit(path);
        for (const char* text : {"", "x", "open sesame"}) {
            uint8_t a[32], b[32], pa[32], pb[32];
            StretchSecret(text, saltA.data(), a);
            StretchSecret(text, saltB.data(), b);
            StretchSecretPair(text, saltA.data(), pa, saltB.data(), pb);
            EXPECT_EQ(ToHex(pa, 32), ToHex(a, 32)) << text << " path " << static_cast<int>(path);
            EXPECT_EQ(ToHex(pb, 32), ToHex(b, 32)) << text << " path " << static_cast<int>(path);
            EXPECT_NE(ToHex(a, 32), ToHex(b, 32));
            // The same salt twice: the two chains must not disturb each other.
            StretchSecretPair(text, saltA.data(), pa, saltA.data(), pb);
            EXPECT_EQ(ToHex(pa, 32), ToHex(a, 32));
            EXPECT_EQ(ToHex(pb, 32), ToHex(a, 32));
        }
    }
}

// The path is chosen from what the processor reports and nothing else: one
// without SHA instructions (most desktops before 2019) runs the AES path,
// one without AES (or SSSE3, SSE4.1) the portable one; taking an
// instruction path on such a processor stops the program.
TEST(Crypto, PathFollowsTheReportedFeaturesInEveryCombination) {
    int sha = 0, aes = 0;
    for (int bits = 0; bits < 16; ++bits) {
        corva::CpuFeatures f;
        f.ssse3 = (bits & 1) != 0;
        f.sse41 = (bits & 2) != 0;
        f.aes = (bits & 4) != 0;
        f.sha = (bits & 8) != 0;
        const corva::CryptoPath path = corva::CryptoPathFor(f);
        const bool aesPath = f.aes && f.ssse3 && f.sse41;
        if (path == corva::CryptoPath::ShaAndAesInstructions) ++sha;
        if (path == corva::CryptoPath::AesInstructions) ++aes;
        EXPECT_EQ(path == corva::CryptoPath::ShaAndAesInstructions, aesPath && f.sha) << "features " << bits;
        EXPECT_EQ(path == corva::CryptoPath::AesInstructions, aesPath && !f.sha) << "features " << bits;
    }
    EXPECT_EQ(sha, 1);
    EXPECT_EQ(aes, 1);
    EXPECT_EQ(corva::BestCryptoPath(), corva::CryptoPathFor(corva::ReportedCpuFeatures()));
}

// Under an emulated processor (tests/engine/CMakeLists.txt runs this suite
// under qemu with CORVA_EXPECTED_CRYPTO_PATH set) the path must be the one
// that processor allows: the fallbacks are really what runs there.
TEST(Crypto, EmulatedProcessorTakesItsExpectedPath) {
    const char* expected = std::getenv("CORVA_EXPECTED_CRYPTO_PATH");
    if (!expected) GTEST_SKIP() << "not under an emulated processor";
    EXPECT_EQ(static_cast<int>(corva::BestCryptoPath()), std::atoi(expected));
    EXPECT_EQ(corva::ActiveCryptoPath(), corva::BestCryptoPath());
}

TEST(Crypto, RandomBytesAreFresh) {
    uint8_t a[32] = {}, b[32] = {};
    ASSERT_TRUE(corva::RandomBytes(a, sizeof a));
    ASSERT_TRUE(corva::RandomBytes(b, sizeof b));
    EXPECT_NE(ToHex(a, 32), ToHex(b, 32));
}
