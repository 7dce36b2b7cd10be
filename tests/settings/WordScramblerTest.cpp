// The word scrambler of the settings file and its block-order generator.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <regex>
#include <set>
#include <sstream>

#include "SettingsTestSupport.h"
#include "engine/WordScrambler.h"

using namespace testing_support;
using settings_test::TraceCapture;

namespace {

// The generator written plainly from its definition, with std::set.
std::vector<int32_t> ReferenceBlockIndex(int32_t n, int32_t start, int32_t step) {
    std::vector<int32_t> out(static_cast<size_t>(n), -1);
    std::set<uint32_t> free;
    for (int32_t i = 0; i < n; ++i) free.insert(static_cast<uint32_t>(i));
    uint32_t idx = static_cast<uint32_t>(start);
    for (uint32_t j = 0; j < static_cast<uint32_t>(n); ++j) {
        uint32_t t = (idx - j + static_cast<uint32_t>(step)) % static_cast<uint32_t>(n);
        auto it = free.lower_bound(t);
        if (it == free.end()) it = free.begin();
        uint32_t p = *it;
        free.erase(it);
        out[p] = static_cast<int32_t>(j);
        idx = p;
    }
    return out;
}

bool IsPermutation(const std::vector<int32_t>& v) {
    std::vector<bool> seen(v.size(), false);
    for (int32_t x : v) {
        if (x < 0 || static_cast<size_t>(x) >= v.size() || seen[static_cast<size_t>(x)]) return false;
        seen[static_cast<size_t>(x)] = true;
    }
    return true;
}

Bytes Scrambled(const std::string& key, int32_t words, Bytes data) {
    WordScrambler s(key, words);
    s.Scramble(data.data(), data.size());
    return data;
}

}  // namespace

TEST(BlockIndex, SmallSizes) {
    int32_t one[1] = {77};
    EXPECT_TRUE(GenerateBlockIndex_fast(one, 1, 123, -9));
    EXPECT_EQ(one[0], 0);

    int32_t untouched[2] = {55, 66};
    EXPECT_TRUE(GenerateBlockIndex_fast(untouched, 0, 1, 2));
    EXPECT_EQ(untouched[0], 55);
    EXPECT_EQ(untouched[1], 66);
    EXPECT_TRUE(GenerateBlockIndex_fast(untouched, -3, 1, 2));
    EXPECT_EQ(untouched[0], 55);
}

TEST(BlockIndex, MatchesOrderedSetDefinition) {
    const int32_t sizes[] = {1, 2, 3, 5, 7, 16, 100, 1023, 1024, 1025, 4096};
    const int32_t seeds[] = {0, 1, -1, 2, INT_MIN, INT_MAX, 0x74796316, 0x47ed6b21, -123456789, 1000};
    for (int32_t n : sizes)
        for (int32_t start : seeds)
            for (int32_t step : seeds) {
                std::vector<int32_t> got(static_cast<size_t>(n), -1);
                ASSERT_TRUE(GenerateBlockIndex_fast(got.data(), n, start, step));
                ASSERT_EQ(got, ReferenceBlockIndex(n, start, step)) << "n=" << n << " start=" << start
                                                                   << " step=" << step;
            }
}

TEST(BlockIndex, TracesElapsedTimeAndScalesToLargestBlock) {
    const int32_t n = WordScrambler::kMaxBlockWords;
    std::vector<int32_t> out(static_cast<size_t>(n), -1);
    TraceCapture trace;
    auto began = std::chrono::steady_clock::now();
    ASSERT_TRUE(GenerateBlockIndex_fast(out.data(), n, 0x74796316, 0x47ed6b21));
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began).count();
    EXPECT_TRUE(IsPermutation(out));
    // A quadratic pick would need minutes here.
    EXPECT_LT(ms, 20000);
    std::printf("GenerateBlockIndex_fast(%d): %lld ms\n", n, static_cast<long long>(ms));

    auto lines = trace.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].level, 0);
    EXPECT_TRUE(std::regex_match(lines[0].text, std::regex(R"(\[\d\d:\d\d:\d\d\]\[Info\]GenerateBlockIndex_fast used \d+ ms\{intSize=1048576\})")))
        << lines[0].text;
}

TEST(WordScrambler, KeyHashesAndBlockSize) {
    EXPECT_EQ(static_cast<uint32_t>(WordScrambler::KeyHash1("fetchhostmachinetag")), 0x74796316u);
    EXPECT_EQ(static_cast<uint32_t>(WordScrambler::KeyHash2("fetchhostmachinetag")), 0x47ed6b21u);
    // Bytes above 0x7F count as negative in the second hash.
    EXPECT_EQ(WordScrambler::KeyHash2("\xFF"), -1);
    EXPECT_EQ(WordScrambler::KeyHash2("\x01\xFF"), 4);
    EXPECT_EQ(static_cast<uint32_t>(WordScrambler::KeyHash1("\x01")), 0x01000000u);
    EXPECT_EQ(static_cast<uint32_t>(WordScrambler::KeyHash1("ab")), (static_cast<uint32_t>('a' ^ 1) << 24) | ('b' << 16));

    EXPECT_EQ(WordScrambler("k", 1).BlockWords(), 1);
    EXPECT_EQ(WordScrambler("k", 1048576).BlockWords(), 1048576);
    EXPECT_EQ(WordScrambler("k", 0).BlockWords(), 4096);
    EXPECT_EQ(WordScrambler("k", -7).BlockWords(), 4096);
    EXPECT_EQ(WordScrambler("k", 1048577).BlockWords(), 4096);
}

// Known answers computed independently (make_settings_vectors.py).
TEST(WordScrambler, KnownAnswers) {
    Bytes raw = ReadFileBytes(Join(settings_test::SettingsVectorsDir(), L"scrambler.txt"));
    ASSERT_FALSE(raw.empty());
    std::istringstream in(std::string(raw.begin(), raw.end()));
    std::string line;
    int cases = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream f(line);
        std::string keyHex, h1, h2, inHex, outHex;
        int32_t words = 0;
        size_t length = 0;
        f >> keyHex >> words >> length >> h1 >> h2 >> inHex >> outHex;
        Bytes keyBytes = FromHex(keyHex);
        std::string key(keyBytes.begin(), keyBytes.end());
        Bytes input = inHex == "-" ? Bytes() : FromHex(inHex);
        Bytes expected = outHex == "-" ? Bytes() : FromHex(outHex);
        ASSERT_EQ(input.size(), length);
        WordScrambler s(key, words);
        char hashes[32];
        std::snprintf(hashes, sizeof hashes, "%08x", static_cast<uint32_t>(s.Hash1()));
        EXPECT_EQ(hashes, h1) << line.substr(0, 60);
        std::snprintf(hashes, sizeof hashes, "%08x", static_cast<uint32_t>(s.Hash2()));
        EXPECT_EQ(hashes, h2) << line.substr(0, 60);
        Bytes data = input;
        s.Scramble(data.data(), data.size());
        EXPECT_EQ(ToHex(data), ToHex(expected)) << "key " << keyHex << " N " << words << " length " << length;
        s.Unscramble(data.data(), data.size());
        EXPECT_EQ(data, input);
        ++cases;
    }
    EXPECT_GE(cases, 61);
}

TEST(WordScrambler, ShortBufferIsOnlyXored) {
    WordScrambler s("fetchhostmachinetag", 1024);
    const uint8_t pattern[4] = {0x74, 0x79, 0x63, 0x16};
    for (size_t length = 0; length < 4; ++length) {
        Bytes data = {0x00, 0xFF, 0x5A};
        data.resize(length);
        Bytes original = data;
        s.Scramble(data.data(), data.size());
        for (size_t k = 0; k < length; ++k) EXPECT_EQ(data[k], original[k] ^ pattern[k]);
    }
}

TEST(WordScrambler, BlockBoundaries) {
    const int32_t n = 8;
    const size_t block = 4 * n;
    WordScrambler s("boundary", n);
    const uint32_t h1 = static_cast<uint32_t>(s.Hash1());
    const uint8_t pattern[4] = {static_cast<uint8_t>(h1 >> 24), static_cast<uint8_t>(h1 >> 16),
                                static_cast<uint8_t>(h1 >> 8), static_cast<uint8_t>(h1)};
    std::vector<int32_t> p(n);
    GenerateBlockIndex_fast(p.data(), n, s.Hash1(), s.Hash2());
    auto expect = [&](const Bytes& in, size_t fullBlocks) {
        Bytes out = in;
        for (size_t b = 0; b < fullBlocks + 1; ++b) {
            size_t off = b * block;
            size_t words = b < fullBlocks ? n : (in.size() - off) / 4;
            std::vector<int32_t> order(words);
            GenerateBlockIndex_fast(order.data(), static_cast<int32_t>(words), s.Hash1(), s.Hash2());
            if (b < fullBlocks) {
                EXPECT_EQ(order, p);
            }
            for (size_t i = 0; i < words; ++i)
                for (size_t k = 0; k < 4; ++k) out[off + 4 * i + k] = in[off + 4 * static_cast<size_t>(order[i]) + k];
        }
        for (size_t k = 0; k < out.size(); ++k) out[k] ^= pattern[k % 4];
        return out;
    };
    // Exactly one block: handled as the tail, with the same permutation.
    Bytes exact = PseudoRandom(block, 1);
    EXPECT_EQ(Scrambled("boundary", n, exact), expect(exact, 0));
    // One byte more: a full block and a 1-byte tail that only gets XORed.
    Bytes more = PseudoRandom(block + 1, 2);
    Bytes got = Scrambled("boundary", n, more);
    EXPECT_EQ(got, expect(more, 1));
    EXPECT_EQ(got.back(), more.back() ^ pattern[block % 4]);
    Bytes two = PseudoRandom(2 * block + 7, 3);
    EXPECT_EQ(Scrambled("boundary", n, two), expect(two, 2));
}

TEST(WordScrambler, UnscrambleUndoesScrambleForEveryLength) {
    for (int32_t n : {1, 3, 4, 7}) {
        WordScrambler s("round trip", n);
        for (size_t length = 0; length <= static_cast<size_t>(3 * 4 * n + 9); ++length) {
            Bytes original = PseudoRandom(length, static_cast<uint32_t>(length + 17));
            Bytes data = original;
            s.Scramble(data.data(), data.size());
            if (length >= 8) {
                EXPECT_NE(data, original) << n << "/" << length;
            }
            s.Unscramble(data.data(), data.size());
            ASSERT_EQ(data, original) << "N " << n << " length " << length;
        }
    }
    WordScrambler big("fetchhostmachinetag", 1024);
    for (size_t length : {4095u, 4096u, 4097u, 4098u, 8191u, 8192u, 8193u, 12289u, 40000u}) {
        Bytes original = PseudoRandom(length, static_cast<uint32_t>(length));
        Bytes data = original;
        big.Scramble(data.data(), data.size());
        big.Unscramble(data.data(), data.size());
        ASSERT_EQ(data, original) << length;
    }
}

TEST(WordScrambler, ReusedObjectMatchesFreshObjects) {
    WordScrambler reused("fetchhostmachinetag", 16);
    for (size_t length : {100u, 3u, 64u, 65u, 0u, 200u}) {
        Bytes a = PseudoRandom(length, 9);
        Bytes b = a;
        reused.Scramble(a.data(), a.size());
        WordScrambler fresh("fetchhostmachinetag", 16);
        fresh.Scramble(b.data(), b.size());
        EXPECT_EQ(a, b) << length;
    }
}

TEST(WordScrambler, KeysWithEqualHashesScrambleAlike) {
    // Positions 2/6 and 3/7 share hash bytes; the changes cancel in both
    // hashes (+1*5^5 -1*5 -5*5^4 +5 = 0, XOR differences paired).
    const std::string a = "abbeefgh";
    const std::string b = "abc`effm";
    ASSERT_NE(a, b);
    ASSERT_EQ(WordScrambler::KeyHash1(a), WordScrambler::KeyHash1(b));
    ASSERT_EQ(WordScrambler::KeyHash2(a), WordScrambler::KeyHash2(b));
    for (size_t length : {0u, 5u, 4096u, 5000u}) {
        Bytes data = PseudoRandom(length, 5);
        EXPECT_EQ(Scrambled(a, 1024, data), Scrambled(b, 1024, data));
    }
    // A key that differs in its hashes scrambles differently.
    Bytes data = PseudoRandom(64, 5);
    EXPECT_NE(Scrambled(a, 1024, data), Scrambled("abbeefgi", 1024, data));
}
