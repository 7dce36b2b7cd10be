#include "WordScrambler.h"

#include <chrono>
#include <cstring>

#include "log/FileLog.h"

namespace {

// The integers 0..n-1 as an ordered set with logarithmic removal and
// "smallest member >= t": a Fenwick tree over presence counts.
class SlotSet {
public:
    explicit SlotSet(uint32_t n) : n_(n), tree_(static_cast<size_t>(n) + 1, 0), count_(n) {
        for (uint32_t i = 1; i <= n; ++i) {
            tree_[i] += 1;
            uint32_t parent = i + (i & (0u - i));
            if (parent <= n) tree_[parent] += tree_[i];
        }
        top_ = 1;
        while (top_ * 2 <= n_) top_ *= 2;
    }

    // Smallest member >= t, or the smallest member when there is none.
    uint32_t LowerBoundOrFirst(uint32_t t) const {
        uint32_t below = CountBelow(t);
        return Nth(below < count_ ? below + 1 : 1);
    }

    void Remove(uint32_t v) {
        for (uint32_t i = v + 1; i <= n_; i += i & (0u - i)) tree_[i] -= 1;
        --count_;
    }

private:
    // Members < t.
    uint32_t CountBelow(uint32_t t) const {
        uint32_t sum = 0;
        for (uint32_t i = t < n_ ? t : n_; i > 0; i -= i & (0u - i)) sum += tree_[i];
        return sum;
    }

    // The k-th smallest member, k from 1.
    uint32_t Nth(uint32_t k) const {
        uint32_t pos = 0;
        for (uint32_t step = top_; step > 0; step /= 2) {
            if (pos + step <= n_ && tree_[pos + step] < k) {
                pos += step;
                k -= tree_[pos];
            }
        }
        return pos;  // 1-based position pos + 1 holds the member pos
    }

    uint32_t n_;
    std::vector<uint32_t> tree_;
    uint32_t count_;
    uint32_t top_ = 1;
};

}  // namespace

bool GenerateBlockIndex_fast(int32_t* out, int32_t n, int32_t start, int32_t step) {
    auto began = std::chrono::steady_clock::now();
    if (n > 0) {
        const uint32_t size = static_cast<uint32_t>(n);
        SlotSet free(size);
        uint32_t idx = static_cast<uint32_t>(start);
        for (uint32_t j = 0; j < size; ++j) {
            uint32_t t = (idx - j + static_cast<uint32_t>(step)) % size;
            uint32_t p = free.LowerBoundOrFirst(t);
            out[p] = static_cast<int32_t>(j);
            free.Remove(p);
            idx = p;
        }
    }
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began).count();
    DebugTrace(kLogInfo, "GenerateBlockIndex_fast used %d ms{intSize=%d}", static_cast<int>(ms), n);
    return true;
}

int32_t WordScrambler::KeyHash1(const std::string& keyText) {
    uint8_t b[4] = {0, 0, 0, 0};
    const size_t len = keyText.size();
    for (size_t i = 0; i < len; ++i)
        b[i % 4] ^= static_cast<uint8_t>(static_cast<uint8_t>(keyText[i]) ^ static_cast<uint8_t>((len - i - 1) & 0xFF));
    uint32_t h = (static_cast<uint32_t>(b[0]) << 24) | (static_cast<uint32_t>(b[1]) << 16) |
                 (static_cast<uint32_t>(b[2]) << 8) | b[3];
    return static_cast<int32_t>(h);
}

int32_t WordScrambler::KeyHash2(const std::string& keyText) {
    uint32_t h = 0;
    for (char c : keyText) h = 5u * h + static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(c)));
    return static_cast<int32_t>(h);
}

WordScrambler::WordScrambler(const std::string& keyText, int32_t blockWords)
    : keyText_(keyText),
      hash1_(KeyHash1(keyText)),
      hash2_(KeyHash2(keyText)),
      blockWords_(blockWords >= 1 && blockWords <= kMaxBlockWords ? blockWords : kDefaultBlockWords) {
    order_.resize(static_cast<size_t>(blockWords_));
    GenerateBlockIndex_fast(order_.data(), blockWords_, hash1_, hash2_);
    work_.resize(static_cast<size_t>(blockWords_));
}

// forward: word i of the result is word order[i] of the input; otherwise
// word order[i] of the result is word i of the input.
void WordScrambler::PermuteBlock(uint8_t* block, const int32_t* order, int32_t words, bool forward) {
    if (words <= 0) return;
    const size_t bytes = static_cast<size_t>(words) * 4;
    std::memcpy(work_.data(), block, bytes);
    const uint8_t* in = reinterpret_cast<const uint8_t*>(work_.data());
    for (int32_t i = 0; i < words; ++i) {
        size_t from = static_cast<size_t>(forward ? order[i] : i) * 4;
        size_t to = static_cast<size_t>(forward ? i : order[i]) * 4;
        std::memcpy(block + to, in + from, 4);
    }
}

void WordScrambler::ApplyPattern(uint8_t* buffer, size_t length) const {
    const uint32_t h = static_cast<uint32_t>(hash1_);
    const uint8_t pattern[4] = {static_cast<uint8_t>(h >> 24), static_cast<uint8_t>(h >> 16),
                                static_cast<uint8_t>(h >> 8), static_cast<uint8_t>(h)};
    for (size_t k = 0; k < length; ++k) buffer[k] ^= pattern[k % 4];
}

void WordScrambler::Scramble(void* buffer, size_t length) {
    uint8_t* data = static_cast<uint8_t*>(buffer);
    const size_t blockBytes = static_cast<size_t>(blockWords_) * 4;
    size_t off = 0, remaining = length;
    while (remaining > blockBytes) {
        PermuteBlock(data + off, order_.data(), blockWords_, true);
        remaining -= blockBytes;
        off += blockBytes;
    }
    const int32_t tailWords = static_cast<int32_t>(remaining / 4);
    std::vector<int32_t> tail(static_cast<size_t>(tailWords));
    GenerateBlockIndex_fast(tail.data(), tailWords, hash1_, hash2_);
    PermuteBlock(data + off, tail.data(), tailWords, true);
    ApplyPattern(data, length);
}

void WordScrambler::Unscramble(void* buffer, size_t length) {
    uint8_t* data = static_cast<uint8_t*>(buffer);
    ApplyPattern(data, length);
    const size_t blockBytes = static_cast<size_t>(blockWords_) * 4;
    size_t off = 0, remaining = length;
    while (remaining > blockBytes) {
        PermuteBlock(data + off, order_.data(), blockWords_, false);
        remaining -= blockBytes;
        off += blockBytes;
    }
    const int32_t tailWords = static_cast<int32_t>(remaining / 4);
    std::vector<int32_t> tail(static_cast<size_t>(tailWords));
    GenerateBlockIndex_fast(tail.data(), tailWords, hash1_, hash2_);
    PermuteBlock(data + off, tail.data(), tailWords, false);
}
