// A pipeline stage moved onto a thread of its own: ThreadedSink takes what
// the stage before it writes, copies it into a short queue and hands it to
// `next` on a worker thread, so that the two stages (deciphering and
// inflating, say) run side by side. Write blocks while the queue is full
// (memory stays bounded: a few chunks), and fails once `next` has failed;
// Finish waits for the queue to drain, finishes `next` and reports its
// result. Everything copied is wiped when it is released. Nothing is thrown;
// if no thread can be started, `next` is called directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "Stream.h"

namespace corva {

class ThreadedSink final : public ByteSink {
public:
    explicit ThreadedSink(ByteSink* next, size_t maxQueued = 4);
    // Stops the worker; what is still queued is dropped (the stream was not
    // finished, so the result does not count).
    ~ThreadedSink() override;
    ThreadedSink(const ThreadedSink&) = delete;
    ThreadedSink& operator=(const ThreadedSink&) = delete;

    bool Write(const uint8_t* data, size_t size) override;
    bool Finish() override;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace corva
