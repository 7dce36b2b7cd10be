// The body cipher of a whole file over two threads, laid out by stage: the
// calling thread brings the blocks (reads them, or gathers what the
// compressor writes) and hashes the serial chain of their keys; a worker
// enciphers or deciphers them with those keys and hands them on to the next
// stage (the file writer, the inflater), so that everything after the chain
// runs beside it. Two busy threads for two cores, meeting once per slot;
// when the other core is busy, the two share one and cost more than the
// one-thread cipher, so StageForm below chooses between the two by timing.
//
// Blocks travel in a few slots of kBlocks blocks (memory stays bounded);
// every key is wiped once used, every slot when the stage ends. The worker
// ends in the destructor. Nothing is thrown: when no thread can be started,
// each slot is done on the calling thread as it is handed over.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/Crypto.h"
#include "engine/Stream.h"

namespace corva {

class CipherStage {
public:
    static constexpr size_t kBlocks = 16384;  // 256 KiB of blocks a slot
    static constexpr size_t kSlots = 4;

    // What the caller fills: up to kBlocks blocks and their keys.
    struct Slot {
        uint8_t* blocks;
        uint8_t* keys;
    };

    // iv: the body's first chaining value; next: where the blocks go once
    // done (enciphered, or deciphered and cut to the payload).
    CipherStage(bool encrypt, const uint8_t iv[kAesBlock], ByteSink* next);
    // Ends the worker; what is still handed over is dropped (the stream was
    // not drained, so it does not count).
    ~CipherStage();
    CipherStage(const CipherStage&) = delete;
    CipherStage& operator=(const CipherStage&) = delete;

    // The slot for the next blocks, once the worker has freed it; nullptr
    // once next has refused bytes.
    Slot* Next();
    // Hands the slot from Next over: count blocks and their keys, of which
    // the first pass bytes go on to next.
    void Submit(size_t count, size_t pass);
    // Waits until every slot handed over is done; false when next refused
    // bytes. Next is not finished: that is the caller's.
    bool Drain();
    // Once drained: the chaining value the next block takes, and setting it
    // (when blocks were ciphered on the calling thread meanwhile).
    void ChainValue(uint8_t iv[kAesBlock]) const;
    void SetChainValue(const uint8_t iv[kAesBlock]);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The form of a long body's slots, chosen a group of kGroupSlots at a time:
// staged over two threads (the chain here, the rest on the stage's worker)
// or on one thread (BodyCipher::Process, where the chain and the AES rounds
// run interleaved on one core). Staging pays while each thread has a core;
// with the other core busy, the two share one and cost more than one thread
// does. So each group is timed and a SplitChoice picks the next group's
// form, as for the body cipher's long runs; the chaining value passes
// between the stage and the chain at each change of form.
class SplitChoice;
class StageForm {
public:
    static constexpr size_t kGroupSlots = 8;

    // chain: its keys feed stage in the staged form; it ciphers the blocks
    // itself (without a helper thread) in the other.
    StageForm(BodyCipher& chain, CipherStage& stage);
    ~StageForm();
    StageForm(const StageForm&) = delete;
    StageForm& operator=(const StageForm&) = delete;

    // The form of the current slot.
    bool Staged() const { return staged_; }
    // A slot of count blocks is done (handed to the stage, or ciphered and
    // passed on here). At the end of a group, its time picks the next
    // group's form; leaving the staged form first drains the stage. False
    // when the stage refused bytes.
    bool Done(size_t count);

private:
    // By the setting, else by the figures of earlier groups.
    bool NextStaged() const;

    BodyCipher& chain_;
    CipherStage& stage_;
    std::unique_ptr<SplitChoice> choice_;
    bool staged_;
    size_t slots_ = 0;  // done in the current group
    uint64_t blocks_ = 0;
    uint64_t groups_ = 0;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace corva
