#include "StageThread.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Platform.h"

namespace corva {

struct ThreadedSink::State {
    ByteSink* next = nullptr;
    size_t maxQueued = 4;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::vector<uint8_t>> queue;
    bool finishing = false;  // no more writes; the worker finishes next
    bool stopping = false;   // drop everything and end
    bool failed = false;     // next refused bytes or failed to finish
    bool finished = false;   // the worker has finished next
    std::thread worker;
    bool threaded = false;

    static void Wipe(std::vector<uint8_t>& v) {
        if (!v.empty()) plat::SecureZero(v.data(), v.size());
    }

    void Run() {
        for (;;) {
            std::vector<uint8_t> chunk;
            bool finish = false;
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] { return stopping || !queue.empty() || finishing; });
                if (stopping) return;
                if (!queue.empty()) {
                    chunk.swap(queue.front());
                    queue.pop_front();
                } else {
                    finish = true;
                }
            }
            changed.notify_all();  // room in the queue
            bool ok;
            try {
                ok = finish ? next->Finish() : next->Write(chunk.data(), chunk.size());
            } catch (...) {
                ok = false;
            }
            Wipe(chunk);
            std::lock_guard<std::mutex> lock(mutex);
            if (!ok) failed = true;
            if (finish || !ok) {
                finished = true;
                for (auto& c : queue) Wipe(c);
                queue.clear();
                changed.notify_all();
                return;
            }
        }
    }
};

ThreadedSink::ThreadedSink(ByteSink* next, size_t maxQueued) : state_(new State) {
    state_->next = next;
    state_->maxQueued = maxQueued ? maxQueued : 1;
    try {
        state_->worker = std::thread([s = state_.get()] { s->Run(); });
        state_->threaded = true;
    } catch (const std::exception&) {
        state_->threaded = false;  // next is called directly
    }
}

ThreadedSink::~ThreadedSink() {
    State& s = *state_;
    if (s.threaded) {
        {
            std::lock_guard<std::mutex> lock(s.mutex);
            s.stopping = true;
        }
        s.changed.notify_all();
        s.worker.join();
    }
    for (auto& c : s.queue) State::Wipe(c);
}

bool ThreadedSink::Write(const uint8_t* data, size_t size) {
    State& s = *state_;
    if (!s.threaded) {
        if (s.failed || !s.next->Write(data, size)) return !(s.failed = true);
        return true;
    }
    std::vector<uint8_t> chunk;
    try {
        chunk.assign(data, data + size);
    } catch (const std::exception&) {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.failed = true;
        return false;
    }
    {
        std::unique_lock<std::mutex> lock(s.mutex);
        s.changed.wait(lock, [&] { return s.failed || s.finished || s.queue.size() < s.maxQueued; });
        if (s.failed || s.finished || s.finishing) {
            State::Wipe(chunk);
            return false;
        }
        s.queue.push_back(std::move(chunk));
    }
    s.changed.notify_all();
    return true;
}

bool ThreadedSink::Finish() {
    State& s = *state_;
    if (!s.threaded) return !s.failed && s.next->Finish();
    {
        std::unique_lock<std::mutex> lock(s.mutex);
        if (!s.finishing && !s.finished) s.finishing = true;
    }
    s.changed.notify_all();
    std::unique_lock<std::mutex> lock(s.mutex);
    s.changed.wait(lock, [&] { return s.finished; });
    return !s.failed;
}

}  // namespace corva
