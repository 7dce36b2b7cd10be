// Known answers computed outside the project (tests/vectors/make_known_answers.py:
// Python's hashlib and the openssl command-line tool), so an error in the
// engine's own primitives cannot pass them.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/Crypto.h"
#include "engine/LockedFile.h"
#include "platform/Platform.h"
#include "CryptoPaths.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

struct TextVector {
    const char* text;  // UTF-8
    const char* digest;
};

const TextVector kStretch[] = {
    {u8"", "6a6275d4d5bd394fb4e53c662b90e54483c093b39e9fed0d6c8692225c102d0a"},
    {u8"password", "aaadb97318709315db4658747022899b6024b9fa343f1e5c80581b867406892f"},
    {u8"Corvastine 2026!", "b868fefcba4644ca2fd97c5fd33dc945c5df7bcb734da6d141d9c3e0a6798fcb"},
    {u8"pässwörd", "4c733bb8f9ed1236019d154a21bfcb85039d9b5c7b546bb5238fd4d76d3dd13a"},
};

struct HexVector {
    const char* input;
    const char* output;
};

const HexVector kPad[] = {
    {"0000000000000000000000000000000000000000000000000000000000000000", "22af5eb7a99e9a167adafc9b1c22f688cb7d7f87cd31c10e00dda28bd0953cfc"},
    {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", "0d8dd1b48ed7a98b0d08621cda80ec767f3cca20d6874d8e962ce13f064ac2bf"},
    {"aaadb97318709315db4658747022899b6024b9fa343f1e5c80581b867406892f", "6faded5288a2f25183b973c47f27e5df02bb365b153876d49cf922f9b7904db6"},
};

// payload, complete locked file for password "corvastine", salt 00..1f,
// token 20..3f, IV field 40..7f
const HexVector kLocked[] = {
    {"", "00ff0100000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1fa3728e445ab5af2ee956fa748ce60dd564e9cf08fd363ec58fca72e6d34288a8301468fbfb7647e3bf46e6d0948f1089681925106b119ca7bf9b5c521cf7d53b404142434445464748494a4b4c4d4e4f505152535455565758595a5b5c5d5e5f606162636465666768696a6b6c6d6e6f707172737475767778797a7b7c7d7e7f0000000000000000033325ccd7e885854a695c28b22cd8e5"},
    {"30313233343536373839616263646566", "00ff0100000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1fa3728e445ab5af2ee956fa748ce60dd564e9cf08fd363ec58fca72e6d34288a8301468fbfb7647e3bf46e6d0948f1089681925106b119ca7bf9b5c521cf7d53b404142434445464748494a4b4c4d4e4f505152535455565758595a5b5c5d5e5f606162636465666768696a6b6c6d6e6f707172737475767778797a7b7c7d7e7f100000000000000054fc98b6bdb6d27d46ea4623682a87e2216ec394e3f2ca0b9c0c6f0ef152d023"},
    {"54686520717569636b2062726f776e20666f78206a756d7073206f76657220746865206c617a7920646f67", "00ff0100000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1fa3728e445ab5af2ee956fa748ce60dd564e9cf08fd363ec58fca72e6d34288a8301468fbfb7647e3bf46e6d0948f1089681925106b119ca7bf9b5c521cf7d53b404142434445464748494a4b4c4d4e4f505152535455565758595a5b5c5d5e5f606162636465666768696a6b6c6d6e6f707172737475767778797a7b7c7d7e7f2b00000000000000c29b19a8301bf62fd179fe9af8874f03392f9104188ddae51d6fdcb59fc084911c22bd8c12f6261f9135a5e5563c970e"},
};

Bytes Salt() { return FromHex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f"); }

// Narrow text as the running system holds it (UTF-8 on Linux, the ANSI code
// page on Windows): the same typed password must give the same digest.
std::string Native(const char* utf8) { return plat::WideToNarrow(plat::Utf8ToWide(utf8)); }

// A random source that hands out 00 01 02 ... so that the header gets salt
// 00..1f, token 20..3f and IV field 40..7f in that order.
uint8_t g_next = 0;
bool CountingRandom(void* buffer, size_t size) {
    auto* p = static_cast<uint8_t*>(buffer);
    for (size_t i = 0; i < size; ++i) p[i] = g_next++;
    return true;
}

}  // namespace

TEST(KnownAnswer, StretchSecretOnEveryPath) {
    const Bytes salt = Salt();
    for (corva::CryptoPath path : RunnablePaths()) {
        PathLimit limit(path);
        for (const auto& v : kStretch) {
            uint8_t out[32];
            StretchSecret(Native(v.text), salt.data(), out);
            EXPECT_EQ(ToHex(out, 32), v.digest) << "text: " << v.text << " path " << static_cast<int>(path);
        }
    }
}

TEST(KnownAnswer, StretchSecretPairOnEveryPath) {
    const Bytes salt = Salt();
    Bytes other = salt;
    other[0] ^= 0xFF;
    for (corva::CryptoPath path : RunnablePaths()) {
        PathLimit limit(path);
        for (const auto& v : kStretch) {
            uint8_t first[32], second[32];
            StretchSecretPair(Native(v.text), salt.data(), first, other.data(), second);
            EXPECT_EQ(ToHex(first, 32), v.digest) << "text: " << v.text << " path " << static_cast<int>(path);
            StretchSecretPair(Native(v.text), other.data(), second, salt.data(), first);
            EXPECT_EQ(ToHex(first, 32), v.digest) << "text: " << v.text << " path " << static_cast<int>(path);
        }
    }
}

TEST(KnownAnswer, PadDigest) {
    for (const auto& v : kPad) {
        Bytes key = FromHex(v.input);
        uint8_t out[32];
        PadDigest(key.data(), out);
        EXPECT_EQ(ToHex(out, 32), v.output);
    }
}

TEST(KnownAnswer, LockedFileBytes) {
    TempDir dir;
    for (corva::CryptoPath path : RunnablePaths()) {
        PathLimit limit(path);
        const int portable = static_cast<int>(path);
        for (const auto& v : kLocked) {
            const std::wstring payload = dir / L"payload.bin", locked = dir / L"payload.bin.corvastine";
            ASSERT_TRUE(WriteFileBytes(payload, FromHex(v.input)));
            g_next = 0;
            corva::SetRandomSourceForTesting(&CountingRandom);
            int rc = encryptfile("corvastine", payload.c_str(), locked.c_str(), false, nullptr);
            corva::SetRandomSourceForTesting(nullptr);
            ASSERT_EQ(rc, 0);
            EXPECT_EQ(ToHex(ReadFileBytes(locked)), v.output) << "payload " << v.input << " path " << portable;

            const std::wstring back = dir / L"back.bin";
            EXPECT_EQ(decryptfile("corvastine", locked.c_str(), back.c_str(), false, nullptr), 0);
            EXPECT_EQ(ToHex(ReadFileBytes(back)), v.input);
            plat::RemoveFile(back);
            plat::RemoveFile(locked);
        }
    }
}
