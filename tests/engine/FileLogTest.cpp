#include <gtest/gtest.h>

#include <atomic>

#include <string>
#include <thread>
#include <vector>

#include "log/FileLog.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

std::string ReadText(const std::wstring& path) {
    Bytes b = ReadFileBytes(path);
    std::string s(b.begin(), b.end());
    std::string out;
    for (char c : s)
        if (c != '\r') out.push_back(c);
    return out;
}

std::vector<std::string> g_trace;
void CaptureTrace(int32_t, const char* line) { g_trace.push_back(line); }

}  // namespace

TEST(FileLog, LineFormatAndTags) {
    TempDir dir;
    FileLog log(plat::WideToNarrow(dir / L"a.log"), L"");
    log.Write(0, "[op] %s %d", "info", 1);
    log.Write(1, "warning");
    log.Write(2, "error");
    log.Write(7, "other");
    std::string text = ReadText(dir / L"a.log");
    // "[tag][hh:mm:ss]message\n" four times.
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        ASSERT_NE(end, std::string::npos);
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    ASSERT_EQ(lines.size(), 4u);
    const char* tags[] = {"[info]", "[warn]", "[err ]", "[----]"};
    const char* messages[] = {"[op] info 1", "warning", "error", "other"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(lines[i].substr(0, 6), tags[i]);
        EXPECT_EQ(lines[i][6], '[');
        EXPECT_EQ(lines[i][9], ':');
        EXPECT_EQ(lines[i][12], ':');
        EXPECT_EQ(lines[i][15], ']');
        EXPECT_EQ(lines[i].substr(16), messages[i]);
    }
}

TEST(FileLog, SwitchesThresholdAndEmptyName) {
    TempDir dir;
    std::wstring path = dir / L"b.log";
    FileLog log(plat::WideToNarrow(path), L"");
    log.enabled = false;
    EXPECT_TRUE(log.Write(2, "dropped"));
    EXPECT_FALSE(plat::PathExists(path));
    log.enabled = true;
    log.Write(-1, "negative level is below threshold 0");
    log.threshold = 2;
    log.Write(1, "below");
    EXPECT_FALSE(plat::PathExists(path));
    log.Write(2, "kept");
    EXPECT_NE(ReadText(path).find("kept"), std::string::npos);

    FileLog nameless("", L"");
    EXPECT_TRUE(nameless.Write(2, "nowhere"));
    EXPECT_EQ(ListNames(dir.Path()).size(), 1u);
}

TEST(FileLog, LongMessagesAreCutNotOverrun) {
    TempDir dir;
    FileLog log(plat::WideToNarrow(dir / L"c.log"), L"");
    std::string huge(40000, 'x');
    log.Write(0, "%s", huge.c_str());
    std::string text = ReadText(dir / L"c.log");
    EXPECT_EQ(text.size(), 16u + 32767u + 1u);
}

TEST(FileLog, WritersSharingALockNameNeverMixPieces) {
    TempDir dir;
    const std::string name = plat::WideToNarrow(dir / L"shared.log");
    const std::wstring lock = L"corva-test-log-lock";
    auto writer = [&](char letter) {
        FileLog log(name, lock);
        std::string message(200, letter);
        for (int i = 0; i < 50; ++i) log.Write(0, "%s", message.c_str());
    };
    std::thread a(writer, 'a'), b(writer, 'b');
    a.join();
    b.join();
    std::string text = ReadText(dir / L"shared.log");
    size_t pos = 0, count = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        ASSERT_NE(end, std::string::npos);
        std::string line = text.substr(pos, end - pos);
        ASSERT_EQ(line.size(), 216u);
        EXPECT_EQ(line.substr(16), std::string(200, line[16])) << "mixed line " << count;
        pos = end + 1;
        ++count;
    }
    EXPECT_EQ(count, 100u);
}

// Logs with locks of their own share nothing: lines written to two logs
// from two threads at once each hold their own message whole.
TEST(FileLog, LogsWithTheirOwnLocksNeverMixTheirLines) {
    TempDir dir;
    constexpr int kLines = 800;
    constexpr size_t kLength = 20000;
    auto writer = [&](const std::wstring& name, char letter) {
        FileLog log(plat::WideToNarrow(dir / name), L"");
        std::string message(kLength, letter);
        for (int i = 0; i < kLines; ++i) log.Write(0, "%s", message.c_str());
    };
    std::thread a(writer, L"a.log", 'a'), b(writer, L"b.log", 'b');
    a.join();
    b.join();
    for (char letter : {'a', 'b'}) {
        std::string text = ReadText(dir / (letter == 'a' ? L"a.log" : L"b.log"));
        size_t pos = 0;
        int count = 0;
        while (pos < text.size()) {
            size_t end = text.find('\n', pos);
            ASSERT_NE(end, std::string::npos);
            std::string line = text.substr(pos, end - pos);
            ASSERT_EQ(line.size(), 16 + kLength) << letter << " line " << count;
            ASSERT_EQ(line.substr(16), std::string(kLength, letter)) << letter << " line " << count;
            pos = end + 1;
            ++count;
        }
        EXPECT_EQ(count, kLines) << letter;
    }
}

// The switch and the threshold change while other threads write: every
// line that is written is whole, and lines stop once the log is off.
TEST(FileLog, SwitchAndThresholdChangeWhileOthersWrite) {
    TempDir dir;
    std::wstring path = dir / L"d.log";
    FileLog log(plat::WideToNarrow(path), L"");
    std::atomic<bool> stop{false};
    std::vector<std::thread> writers;
    for (int w = 0; w < 3; ++w) {
        writers.emplace_back([&, w] {
            while (!stop.load()) log.Write(1, "writer %d", w);
        });
    }
    auto sizeNow = [&] {
        int64_t size = 0;
        return plat::FileSize(path, &size) ? size : int64_t{0};
    };
    while (sizeNow() == 0) std::this_thread::yield();
    for (int i = 0; i < 200; ++i) {
        log.enabled = (i % 2) == 0;
        log.threshold = (i % 3 == 0) ? 2 : 0;
    }
    log.enabled = false;
    stop = true;
    for (auto& t : writers) t.join();
    const int64_t size = sizeNow();
    log.Write(2, "after");
    EXPECT_EQ(sizeNow(), size) << "a disabled log wrote";
    std::string text = ReadText(path);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        ASSERT_NE(end, std::string::npos);
        std::string line = text.substr(pos, end - pos);
        ASSERT_EQ(line.size(), 24u) << line;
        EXPECT_EQ(line.substr(0, 6), "[warn]");
        EXPECT_EQ(line.substr(16, 7), "writer ");
        pos = end + 1;
    }
}

TEST(DebugTrace, LineShapeAndLengthLimit) {
    g_trace.clear();
    SetTraceSinkForTesting(&CaptureTrace);
    DebugTrace(2, "ToXML(%s) == false{}", "strXml");
    std::string longMessage(2000, 'm');
    DebugTrace(5, "%s", longMessage.c_str());
    SetTraceSinkForTesting(nullptr);
    ASSERT_EQ(g_trace.size(), 2u);
    const std::string& first = g_trace[0];
    EXPECT_EQ(first.size(), 16u + 24u);
    EXPECT_EQ(first.substr(10), "[Err ]ToXML(strXml) == false{}");
    EXPECT_EQ(first[0], '[');
    EXPECT_EQ(first[9], ']');
    EXPECT_EQ(g_trace[1].size(), 1023u);
    EXPECT_EQ(g_trace[1].substr(10, 6), "[----]");
}
