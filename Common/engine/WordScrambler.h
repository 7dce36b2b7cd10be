// Keyed, length-preserving scrambler of byte buffers, used for the settings
// file: 32-bit words are permuted within blocks of N words by a key-dependent
// permutation, then every byte is XORed with a key-dependent 4-byte pattern.
// Words are 4-byte units taken in place; their bytes are never reordered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Fills out[0..n) with a permutation of 0..n-1: for j = 0..n-1 the slot p
// picked is the smallest still-free slot >= (idx - j + step) mod n (32-bit
// unsigned arithmetic), wrapping to the smallest free slot; out[p] = j and
// idx = p, idx starting at start. O(n log n). Always true; n <= 0 fills
// nothing.
bool GenerateBlockIndex_fast(int32_t* out, int32_t n, int32_t start, int32_t step);

class WordScrambler {
public:
    static constexpr int32_t kDefaultBlockWords = 4096;
    static constexpr int32_t kMaxBlockWords = 1048576;

    // A block size outside 1..kMaxBlockWords words becomes kDefaultBlockWords.
    WordScrambler(const std::string& keyText, int32_t blockWords);

    // In place; the length is kept. Unscramble undoes Scramble for the same
    // key text, block size and length.
    void Scramble(void* buffer, size_t length);
    void Unscramble(void* buffer, size_t length);

    int32_t Hash1() const { return hash1_; }
    int32_t Hash2() const { return hash2_; }
    int32_t BlockWords() const { return blockWords_; }

    static int32_t KeyHash1(const std::string& keyText);
    static int32_t KeyHash2(const std::string& keyText);

private:
    void PermuteBlock(uint8_t* block, const int32_t* order, int32_t words, bool forward);
    void ApplyPattern(uint8_t* buffer, size_t length) const;

    std::string keyText_;
    int32_t hash1_;
    int32_t hash2_;
    std::vector<int32_t> order_;  // permutation of the full blocks
    std::vector<uint32_t> work_;  // one block of words
    int32_t blockWords_;
};
