// The body cipher of a long run on two threads. Its per-block keys form one
// serial SHA-256 chain, which bounds its speed; the AES half (each block's
// key schedule and the block itself) does not need to wait for it. So the
// calling thread hashes the chain and hands the keys over in batches through
// a short ring, and a helper thread expands them and enciphers or deciphers
// the blocks (CBC, in order). Handing over costs a lock per batch, never per
// block. Memory stays bounded (the ring), and every key is wiped as soon as
// its block is done.
//
// The helper thread lives as long as the CipherHelper (one file's cipher)
// and ends in its destructor. Nothing is thrown: when no thread can be
// started, Start fails and the caller ciphers on its own thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/Crypto.h"

namespace corva {

// The body cipher's two halves, for callers that place them on threads of
// their own. The serial half: the keys of count blocks from key and
// *counter (both updated), 32 bytes a block into keys.
void HashBlockKeys(CryptoPath path, uint8_t key[kDigestSize], uint32_t* counter, uint8_t* keys, size_t count);
// The other half: count blocks in place, each under its own key from keys,
// chained through iv (updated).
void CipherKeyedBlocks(CryptoPath path, bool encrypt, const uint8_t* keys, uint8_t iv[kAesBlock], uint8_t* blocks,
                       size_t count);

// Which form the next long run of one body cipher takes: split over two
// threads (CipherHelper) or all on the calling thread. The split wins only
// while both threads get a core of their own; when other work keeps the
// second core busy, the two threads wait for each other and the run takes
// about twice as long as on one thread. So each form is timed on the
// cipher's own runs (wall time per block) and the cheaper one is used; the
// other is tried again now and then, in case the load has changed, less
// often each time it loses. The first long run is split, the second runs
// on one thread, and from then on the figures decide.
class SplitChoice {
public:
    // Whether the next long run is split.
    bool Split() const { return next_; }
    // A split run whose pace is worse than this (per block) is better ended
    // on one thread; 0 while one-thread runs are not measured yet.
    double GiveUpCost() const { return cost_[0] * 1.25; }
    // The run just done: its form and its wall time per block.
    void Record(bool split, double secondsPerBlock);

    // Runs in the chosen form between two tries of the other, at first and
    // at most.
    static constexpr unsigned kFirstGap = 4;
    static constexpr unsigned kMaxGap = 64;

private:
    double cost_[2] = {0, 0};  // per block, [1] split; 0 until measured
    bool chosen_ = true;
    bool next_ = true;
    unsigned gap_ = kFirstGap;
    unsigned left_ = kFirstGap;  // runs in the chosen form before the next try
};

class CipherHelper {
public:
    explicit CipherHelper(bool encrypt);
    ~CipherHelper();
    CipherHelper(const CipherHelper&) = delete;
    CipherHelper& operator=(const CipherHelper&) = delete;

    // Starts the helper thread; false when it cannot be started.
    bool Start();
    // count blocks in place, exactly as BodyCipher::Process on path would:
    // key, iv and counter are those of the BodyCipher and are updated.
    // With giveUpCost above 0 the run may end early, at a batch boundary,
    // once the keys come slower than that (seconds per block, judged from
    // the sixteenth batch on): the other core is not free. Returns the
    // blocks done; the caller does the rest.
    size_t Run(CryptoPath path, uint8_t key[kDigestSize], uint8_t iv[kAesBlock], uint32_t* counter, uint8_t* blocks,
               size_t count, double giveUpCost = 0);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace corva
