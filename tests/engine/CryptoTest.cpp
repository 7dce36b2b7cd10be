#include <gtest/gtest.h>

#include <cstring>

#include "engine/AesBlock.h"
#include "engine/Crypto.h"
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
    if (!corva::AesNiAvailable()) GTEST_SKIP() << "no AES instructions on this processor";
    Bytes key = FromHex(kFipsKey), block = FromHex(kFipsPlain);
    uint8_t iv[16] = {};
    corva::AesNiCbcEncryptBlock(key.data(), iv, block.data());
    EXPECT_EQ(ToHex(block), kFipsCipher);
    uint8_t iv2[16] = {};
    corva::AesNiCbcDecryptBlock(key.data(), iv2, block.data());
    EXPECT_EQ(ToHex(block), kFipsPlain);
    EXPECT_EQ(ToHex(iv2, 16), kFipsCipher);
}

// The fast and the portable body cipher must agree block for block, in both
// directions, over many rekeyings.
TEST(Crypto, BodyCipherPathsAgree) {
    Bytes seed = PseudoRandom(32, 11), iv = PseudoRandom(16, 12);
    const Bytes plain = PseudoRandom(16 * 300, 13);
    Bytes outputs[2];
    for (int portable = 0; portable < 2; ++portable) {
        corva::ForcePortableBodyCipherForTesting(portable == 1);
        Bytes data = plain;
        corva::BodyCipher enc(seed.data(), iv.data(), true);
        enc.Process(data.data(), 100);
        enc.Process(data.data() + 1600, 200);  // a call boundary keeps the chain
        outputs[portable] = data;
        corva::BodyCipher dec(seed.data(), iv.data(), false);
        dec.Process(data.data(), 300);
        EXPECT_EQ(data, plain);
    }
    corva::ForcePortableBodyCipherForTesting(false);
    EXPECT_EQ(outputs[0], outputs[1]);
    EXPECT_NE(outputs[0], plain);
}

TEST(Crypto, RandomBytesAreFresh) {
    uint8_t a[32] = {}, b[32] = {};
    ASSERT_TRUE(corva::RandomBytes(a, sizeof a));
    ASSERT_TRUE(corva::RandomBytes(b, sizeof b));
    EXPECT_NE(ToHex(a, 32), ToHex(b, 32));
}
