#include "engine/CipherStage.h"

#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/CipherHelper.h"
#include "platform/Platform.h"

namespace corva {

struct CipherStage::State {
    struct Held {
        std::vector<uint8_t> blocks = std::vector<uint8_t>(kBlocks * kAesBlock);
        std::vector<uint8_t> keys = std::vector<uint8_t>(kBlocks * kDigestSize);
        size_t count = 0;
        size_t pass = 0;
        Slot slot{blocks.data(), keys.data()};
    };

    bool encrypt = true;
    CryptoPath path = CryptoPath::Portable;
    uint8_t iv[kAesBlock] = {};
    ByteSink* next = nullptr;
    Held held[kSlots];

    std::mutex mutex;
    std::condition_variable changed;
    size_t submitted = 0;  // slots handed over, counted over the stage's life
    size_t done = 0;       // of those, done by the worker
    bool failed = false;   // next refused bytes
    bool stopping = false;
    std::thread worker;
    bool threaded = false;

    // The cipher and the next stage for one slot; false when next refused.
    bool Work(Held& h) {
        CipherKeyedBlocks(path, encrypt, h.keys.data(), iv, h.blocks.data(), h.count);
        plat::SecureZero(h.keys.data(), h.count * kDigestSize);
        return h.pass == 0 || next->Write(h.blocks.data(), h.pass);
    }

    void Run() {
        for (;;) {
            size_t index;
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] { return stopping || done < submitted; });
                if (stopping) return;
                index = done;
            }
            // The caller touches this slot again only once done has moved.
            bool ok;
            try {
                ok = Work(held[index % kSlots]);
            } catch (...) {
                ok = false;
            }
            {
                std::lock_guard<std::mutex> lock(mutex);
                ++done;
                if (!ok) failed = true;
            }
            changed.notify_all();
            if (!ok) return;
        }
    }
};

CipherStage::CipherStage(bool encrypt, const uint8_t iv[kAesBlock], ByteSink* next) : state_(new State) {
    State& s = *state_;
    s.encrypt = encrypt;
    s.path = ActiveCryptoPath();
    std::memcpy(s.iv, iv, kAesBlock);
    s.next = next;
    try {
        s.worker = std::thread([&s] { s.Run(); });
        s.threaded = true;
    } catch (const std::exception&) {
        s.threaded = false;  // Submit does each slot here
    }
}

CipherStage::~CipherStage() {
    State& s = *state_;
    if (s.threaded) {
        {
            std::lock_guard<std::mutex> lock(s.mutex);
            s.stopping = true;
        }
        s.changed.notify_all();
        s.worker.join();
    }
    for (State::Held& h : s.held) {
        plat::SecureZero(h.blocks.data(), h.blocks.size());
        plat::SecureZero(h.keys.data(), h.keys.size());
    }
    plat::SecureZero(s.iv, sizeof s.iv);
}

CipherStage::Slot* CipherStage::Next() {
    State& s = *state_;
    std::unique_lock<std::mutex> lock(s.mutex);
    s.changed.wait(lock, [&] { return s.failed || s.submitted - s.done < kSlots; });
    if (s.failed) return nullptr;
    return &s.held[s.submitted % kSlots].slot;
}

void CipherStage::Submit(size_t count, size_t pass) {
    State& s = *state_;
    State::Held& h = s.held[s.submitted % kSlots];
    h.count = count;
    h.pass = pass;
    if (!s.threaded) {
        if (!s.failed && !s.Work(h)) s.failed = true;
        ++s.submitted;
        ++s.done;
        return;
    }
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        ++s.submitted;
    }
    s.changed.notify_all();
}

bool CipherStage::Drain() {
    State& s = *state_;
    std::unique_lock<std::mutex> lock(s.mutex);
    s.changed.wait(lock, [&] { return s.failed || s.done == s.submitted; });
    return !s.failed;
}

void CipherStage::ChainValue(uint8_t iv[kAesBlock]) const { std::memcpy(iv, state_->iv, kAesBlock); }

void CipherStage::SetChainValue(const uint8_t iv[kAesBlock]) { std::memcpy(state_->iv, iv, kAesBlock); }

StageForm::StageForm(BodyCipher& chain, CipherStage& stage)
    : chain_(chain), stage_(stage), choice_(new SplitChoice), start_(std::chrono::steady_clock::now()) {
    staged_ = NextStaged();
}

StageForm::~StageForm() = default;

bool StageForm::NextStaged() const {
    switch (SplitRunsSetting()) {
        case SplitRuns::Never:
            return false;
        case SplitRuns::Always:
            return true;
        case SplitRuns::Alternate:
            return groups_ % 2 == 0;
        case SplitRuns::Measured:
            break;
    }
    return choice_->Split();
}

bool StageForm::Done(size_t count) {
    blocks_ += count;
    if (++slots_ < kGroupSlots) return true;
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start_;
    choice_->Record(staged_, took.count() / static_cast<double>(blocks_));
    slots_ = 0;
    blocks_ = 0;
    ++groups_;
    const bool next = NextStaged();
    bool ok = true;
    if (next != staged_) {
        uint8_t iv[kAesBlock];
        if (staged_) {
            // The worker's blocks go first; the chain carries on here.
            ok = stage_.Drain();
            stage_.ChainValue(iv);
            chain_.SetChainValue(iv);
        } else {
            chain_.ChainValue(iv);
            stage_.SetChainValue(iv);
        }
        plat::SecureZero(iv, sizeof iv);
        staged_ = next;
    }
    // The next group's time starts once the stage has drained.
    start_ = std::chrono::steady_clock::now();
    return ok;
}

}  // namespace corva
