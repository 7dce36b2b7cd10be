#include "engine/CipherHelper.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/AesBlock.h"
#include "engine/CryptoSimd.h"
#include "platform/Platform.h"

namespace corva {

namespace {

constexpr size_t kBatch = 1024;  // blocks whose keys are handed over at once
constexpr size_t kSlots = 8;     // batches the hashing may run ahead

}  // namespace

void HashBlockKeys(CryptoPath path, uint8_t key[kDigestSize], uint32_t* counter, uint8_t* keys, size_t count) {
    if (path >= CryptoPath::ShaAndAesInstructions) {
        simd::HashBodyKeys(key, counter, keys, count);
        return;
    }
    for (size_t b = 0; b < count; ++b) {
        Sha256KeyCounter(key, (*counter)++, key);
        std::memcpy(keys + kDigestSize * b, key, kDigestSize);
    }
}

void CipherKeyedBlocks(CryptoPath path, bool encrypt, const uint8_t* keys, uint8_t iv[kAesBlock], uint8_t* blocks,
                       size_t count) {
    if (path >= CryptoPath::AesInstructions) {
        if (encrypt)
            AesNiCbcEncryptKeyed(keys, iv, blocks, count);
        else
            AesNiCbcDecryptKeyed(keys, iv, blocks, count);
        return;
    }
    for (size_t b = 0; b < count; ++b) AesCbc256(keys + kDigestSize * b, iv, blocks + kAesBlock * b, kAesBlock, encrypt);
}

struct CipherHelper::State {
    struct Slot {
        size_t first = 0;  // the batch's first block, from the start of its run
        size_t count = 0;
        std::vector<uint8_t> keys = std::vector<uint8_t>(kBatch * kDigestSize);
    };

    bool encrypt = true;
    std::thread thread;
    bool started = false;

    // Batches handed over and done, counted over the helper's whole life.
    // Each side looks at the other's count for a while before it sleeps, so
    // that the caller's thread, which sets the pace, seldom has to wake the
    // helper.
    std::atomic<size_t> produced{0}, consumed{0};
    std::atomic<bool> helperSleeps{false}, callerSleeps{false}, stopping{false};
    std::mutex mutex;  // for the sleeps
    std::condition_variable changed;

    // The run, set by the caller while the helper has nothing to do, before
    // the run's first batch is handed over.
    CryptoPath path = CryptoPath::Portable;
    uint8_t* blocks = nullptr;
    uint8_t iv[kAesBlock] = {};
    Slot slots[kSlots];

    static constexpr int kLooks = 2000;

    // Waits until ready() holds; the helper also stops waiting (false) once
    // stopping is set. Looks again and again for a while, then sleeps.
    template <class Ready>
    bool Await(std::atomic<bool>& sleeps, bool helper, Ready ready) {
        auto done = [&] { return (helper && stopping.load()) || ready(); };
        for (int i = 0; i < kLooks && !done(); ++i) std::this_thread::yield();
        if (!done()) {
            std::unique_lock<std::mutex> lock(mutex);
            sleeps.store(true);
            changed.wait(lock, done);
            sleeps.store(false);
        }
        return !(helper && stopping.load());
    }

    // Wakes the other side if it sleeps (called after the count it waits
    // for has changed).
    void Wake(const std::atomic<bool>& sleeps) {
        if (!sleeps.load()) return;
        { std::lock_guard<std::mutex> lock(mutex); }
        changed.notify_all();
    }

    void Helper() {
        for (size_t next = 0;; ++next) {
            if (!Await(helperSleeps, true, [&] { return produced.load() > next; })) return;
            Slot& slot = slots[next % kSlots];
            CipherKeyedBlocks(path, encrypt, slot.keys.data(), iv, blocks + kAesBlock * slot.first, slot.count);
            plat::SecureZero(slot.keys.data(), slot.count * kDigestSize);
            consumed.store(next + 1);
            Wake(callerSleeps);
        }
    }
};

void SplitChoice::Record(bool split, double secondsPerBlock) {
    double& cost = cost_[split ? 1 : 0];
    // The chosen form's figure is smoothed over its runs; the other's is
    // only ever a single try and is taken as it is.
    cost = (cost > 0 && split == chosen_) ? (cost + secondsPerBlock) / 2 : secondsPerBlock;
    if (cost_[0] <= 0 || cost_[1] <= 0) {
        next_ = cost_[1] <= 0;
        return;
    }
    const bool best = cost_[1] <= cost_[0];
    if (split != chosen_) {
        // A try of the other form: it takes over, or waits longer for the next.
        gap_ = split == best ? kFirstGap : (gap_ * 2 < kMaxGap ? gap_ * 2 : kMaxGap);
        left_ = gap_;
    }
    chosen_ = best;
    if (left_ == 0) {
        next_ = !chosen_;
    } else {
        --left_;
        next_ = chosen_;
    }
}

CipherHelper::CipherHelper(bool encrypt) : state_(new State) { state_->encrypt = encrypt; }

CipherHelper::~CipherHelper() {
    State& s = *state_;
    if (s.started) {
        {
            std::lock_guard<std::mutex> lock(s.mutex);
            s.stopping.store(true);
        }
        s.changed.notify_all();
        s.thread.join();
    }
    plat::SecureZero(s.iv, sizeof s.iv);
}

bool CipherHelper::Start() {
    State& s = *state_;
    if (s.started) return true;
    try {
        s.thread = std::thread([&s] { s.Helper(); });
        s.started = true;
    } catch (const std::exception&) {
        s.started = false;
    }
    return s.started;
}

size_t CipherHelper::Run(CryptoPath path, uint8_t key[kDigestSize], uint8_t iv[kAesBlock], uint32_t* counter,
                         uint8_t* blocks, size_t count, double giveUpCost) {
    State& s = *state_;
    s.path = path;
    s.blocks = blocks;
    std::memcpy(s.iv, iv, kAesBlock);
    const auto start = std::chrono::steady_clock::now();
    size_t first = 0;
    for (; first < count; first += kBatch) {
        if (giveUpCost > 0 && first >= 2 * kSlots * kBatch) {
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            if (took.count() > giveUpCost * static_cast<double>(first)) break;
        }
        const size_t batch = s.produced.load();
        // A free slot: at most kSlots - 1 batches still with the helper.
        s.Await(s.callerSleeps, false, [&] { return batch - s.consumed.load() < kSlots; });
        State::Slot& slot = s.slots[batch % kSlots];
        slot.first = first;
        slot.count = count - first < kBatch ? count - first : kBatch;
        HashBlockKeys(path, key, counter, slot.keys.data(), slot.count);
        s.produced.store(batch + 1);
        s.Wake(s.helperSleeps);
    }
    s.Await(s.callerSleeps, false, [&] { return s.consumed.load() == s.produced.load(); });
    std::memcpy(iv, s.iv, kAesBlock);
    return first < count ? first : count;
}

}  // namespace corva
