#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "engine/StageThread.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

// Records what reaches it; can be told to fail a write or the finish.
class RecordingSink final : public corva::ByteSink {
public:
    bool Write(const uint8_t* data, size_t size) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (writes_ == failWriteAt) return false;
        ++writes_;
        bytes_.insert(bytes_.end(), data, data + size);
        received.fetch_add(1);
        return true;
    }
    bool Finish() override {
        finishes.fetch_add(1);
        return !failFinish;
    }
    Bytes Received() {
        std::lock_guard<std::mutex> lock(mutex_);
        return bytes_;
    }

    int failWriteAt = -1;
    bool failFinish = false;
    std::atomic<int> received{0};
    std::atomic<int> finishes{0};

private:
    std::mutex mutex_;
    int writes_ = 0;
    Bytes bytes_;
};

}  // namespace

TEST(ThreadedSink, PassesEveryByteInOrderAndFinishesTheNextStage) {
    const Bytes data = PseudoRandom(300000, 4);
    RecordingSink next;
    corva::ThreadedSink stage(&next, 2);
    for (size_t at = 0; at < data.size(); at += 7777) {
        const size_t n = std::min<size_t>(7777, data.size() - at);
        ASSERT_TRUE(stage.Write(data.data() + at, n));
        // At most the queue and the chunk in the worker's hands are pending.
        const int written = static_cast<int>(at / 7777) + 1;
        EXPECT_LE(written - next.received.load(), 2 + 1);
    }
    EXPECT_TRUE(stage.Finish());
    EXPECT_EQ(next.Received(), data);
    EXPECT_EQ(next.finishes.load(), 1);
}

TEST(ThreadedSink, AFailureDownstreamReachesTheWriter) {
    const Bytes chunk = PseudoRandom(1000, 5);
    RecordingSink next;
    next.failWriteAt = 3;
    corva::ThreadedSink stage(&next, 2);
    bool refused = false;
    for (int i = 0; i < 100 && !refused; ++i) refused = !stage.Write(chunk.data(), chunk.size());
    EXPECT_FALSE(stage.Finish());
    EXPECT_EQ(next.finishes.load(), 0) << "a failed stream is not finished";
    EXPECT_FALSE(stage.Write(chunk.data(), chunk.size()));

    RecordingSink refusingFinish;
    refusingFinish.failFinish = true;
    corva::ThreadedSink second(&refusingFinish);
    EXPECT_TRUE(second.Write(chunk.data(), chunk.size()));
    EXPECT_FALSE(second.Finish());
}

TEST(ThreadedSink, DroppedUnfinishedItNeverFinishesTheNextStage) {
    const Bytes chunk = PseudoRandom(100000, 6);
    RecordingSink next;
    {
        corva::ThreadedSink stage(&next, 4);
        for (int i = 0; i < 8; ++i) ASSERT_TRUE(stage.Write(chunk.data(), chunk.size()));
    }
    EXPECT_EQ(next.finishes.load(), 0);
    EXPECT_LE(next.received.load(), 8);
}
