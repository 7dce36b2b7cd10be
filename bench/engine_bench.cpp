// Run with --benchmark_repetitions=5 for medians and minima. Beside its own
// figure, a case that a floor bounds reports itself against that floor,
// measured in the same run: x_floor (time as a multiple of the floor) or
// of_chain_bound (throughput as a share of the chain's bound).
// Throughput of the engine's hot paths: password stretching (one, and the
// pair of unlocking), the locked-file body cipher both ways, deflate on one
// core and on all, encryptfile / decryptfile on a 64 MiB payload (beside
// the publishing of their output, which follows the cipher), and whole
// files locked and unlocked (64 MiB of text, and a folder of small files).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <zlib.h>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define CORVA_BENCH_SHANI 1
#endif

#include "engine/BodyStream.h"
#include "engine/CipherHelper.h"
#include "engine/Crypto.h"
#include "engine/LockedFile.h"
#include "engine/ParallelGzip.h"
#include "platform/Platform.h"

namespace {

constexpr size_t kPayload = 64u << 20;

std::wstring ScratchPath(const char* name) {
    const char* t = std::getenv("TMPDIR");
    std::string base = t && *t ? t : "/tmp";
    return plat::Utf8ToWide(base + "/corva-bench-" + name);
}

void WritePayload(const std::wstring& path) {
    std::vector<uint8_t> data(kPayload);
    uint32_t x = 2463534242u;
    for (auto& b : data) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x);
    }
    plat::File f;
    if (!f.Open(path, plat::File::Mode::CreateAlways) || !f.Write(data.data(), data.size()) || !f.Close())
        std::fprintf(stderr, "cannot write the payload\n");
}

// On a machine shared with other work the least time of the repetitions
// (--benchmark_repetitions=N) is the one least disturbed.
double Min(const std::vector<double>& v) { return v.empty() ? 0.0 : *std::min_element(v.begin(), v.end()); }

const char* PathLabel(int64_t path) {
    switch (static_cast<corva::CryptoPath>(path)) {
    case corva::CryptoPath::Portable: return "libcrypto only";
    case corva::CryptoPath::AesInstructions: return "AES instructions";
    case corva::CryptoPath::ShaAndAesInstructions: return "SHA and AES instructions";
    }
    return "";
}

// Runs a case on one instruction-set path (argument 0), or skips it when the
// processor lacks it.
bool UsePath(benchmark::State& state) {
    const auto path = static_cast<corva::CryptoPath>(state.range(0));
    if (path > corva::BestCryptoPath()) {
        state.SkipWithError("the processor lacks these instructions");
        return false;
    }
    corva::LimitCryptoPathForTesting(path);
    state.SetLabel(PathLabel(state.range(0)));
    return true;
}

void RestorePath() { corva::LimitCryptoPathForTesting(corva::CryptoPath::ShaAndAesInstructions); }

#ifdef CORVA_BENCH_SHANI
// What the processor allows, measured in the same run as the engine (on a
// shared machine the clock and the load change from run to run): one
// stretch is 50,001 compressions of 32 SHA256RNDS2 each, every one waiting
// for the one before. Argument 1: one chain; 2: two independent chains side
// by side (the pair of unlocking), bound by how often the instruction issues.
__attribute__((target("sha,sse4.1"), noinline)) void DependentRounds(__m128i* a, __m128i* b, __m128i* c,
                                                                      __m128i* d, int chains) {
    __m128i s0 = *a, s1 = *b, t0 = *c, t1 = *d;
    const __m128i k = _mm_set1_epi32(0x428a2f98);
    for (int i = 0; i < 50001 * 16; ++i) {
        s1 = _mm_sha256rnds2_epu32(s1, s0, k);
        if (chains == 2) t1 = _mm_sha256rnds2_epu32(t1, t0, k);
        s0 = _mm_sha256rnds2_epu32(s0, s1, k);
        if (chains == 2) t0 = _mm_sha256rnds2_epu32(t0, t1, k);
    }
    *a = s0, *b = s1, *c = t0, *d = t1;
}

// The same two chains with the rest of the SHA unit's work in a compression:
// each chain's message schedule (SHA256MSG1 twelve times, SHA256MSG2 twelve
// times per 32 SHA256RNDS2), which the stretch cannot leave out. The
// schedules do not wait for the rounds, so on one chain they fill its gaps;
// on two chains the unit may have no gaps left to fill.
__attribute__((target("sha,sse4.1"), noinline)) void TwoChainsWithSchedules(__m128i* a, __m128i* b, __m128i* c,
                                                                            __m128i* d) {
    __m128i s0 = *a, s1 = *b, t0 = *c, t1 = *d;
    __m128i m[4] = {s0, s1, t0, t1}, n[4] = {t1, t0, s1, s0};
    const __m128i k = _mm_set1_epi32(0x428a2f98);
    for (int compression = 0; compression < 50001; ++compression) {
#pragma GCC unroll 16
        for (int i = 0; i < 16; ++i) {
            s1 = _mm_sha256rnds2_epu32(s1, s0, k);
            t1 = _mm_sha256rnds2_epu32(t1, t0, k);
            if (i >= 3 && i < 15) {
                m[(i + 1) & 3] = _mm_sha256msg2_epu32(m[(i + 1) & 3], m[i & 3]);
                n[(i + 1) & 3] = _mm_sha256msg2_epu32(n[(i + 1) & 3], n[i & 3]);
            }
            s0 = _mm_sha256rnds2_epu32(s0, s1, k);
            t0 = _mm_sha256rnds2_epu32(t0, t1, k);
            if (i >= 1 && i < 13) {
                m[(i + 3) & 3] = _mm_sha256msg1_epu32(m[(i + 3) & 3], m[i & 3]);
                n[(i + 3) & 3] = _mm_sha256msg1_epu32(n[(i + 3) & 3], n[i & 3]);
            }
        }
    }
    *a = _mm_xor_si128(s0, m[0]), *b = _mm_xor_si128(s1, m[1]);
    *c = _mm_xor_si128(t0, n[0]), *d = _mm_xor_si128(t1, n[1]);
}

bool HaveShaInstructions() { return corva::BestCryptoPath() >= corva::CryptoPath::ShaAndAesInstructions; }

void BM_ShaRoundsFloor(benchmark::State& state) {
    if (!HaveShaInstructions()) {
        state.SkipWithError("the processor lacks the SHA instructions");
        return;
    }
    __m128i a = _mm_set1_epi32(1), b = _mm_set1_epi32(2), c = _mm_set1_epi32(3), d = _mm_set1_epi32(4);
    const int chains = static_cast<int>(state.range(0));
    for (auto _ : state) {
        if (chains == 3)
            TwoChainsWithSchedules(&a, &b, &c, &d);
        else
            DependentRounds(&a, &b, &c, &d, chains);
        benchmark::DoNotOptimize(a);
        benchmark::DoNotOptimize(c);
    }
    state.SetLabel(chains == 3   ? "two chains with their message schedules"
                   : chains == 2 ? "two chains: floor of the pair"
                                 : "one chain: floor of a stretch");
}
// Argument 3: two chains with their message schedules.
BENCHMARK(BM_ShaRoundsFloor)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Min);

// The floor of one stretch (one chain, or two side by side), in seconds:
// the least of a few runs, taken when first asked for and kept for the
// cases that report their time as a multiple of it.
double FloorSeconds(int chains) {
    static double floor[3] = {0, 0, 0};
    if (floor[chains] == 0 && HaveShaInstructions()) {
        __m128i a = _mm_set1_epi32(1), b = _mm_set1_epi32(2), c = _mm_set1_epi32(3), d = _mm_set1_epi32(4);
        double best = 1e9;
        for (int run = 0; run < 7; ++run) {
            const auto start = std::chrono::steady_clock::now();
            DependentRounds(&a, &b, &c, &d, chains);
            benchmark::DoNotOptimize(a);
            benchmark::DoNotOptimize(c);
            best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
        floor[chains] = best;
    }
    return floor[chains];
}
#else
double FloorSeconds(int) { return 0; }
#endif

// Seconds of wall time per iteration of a case's loop, for its ratio.
class WallClock {
public:
    WallClock() : start_(std::chrono::steady_clock::now()) {}
    double PerIteration(const benchmark::State& state) const {
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        return state.iterations() ? s / static_cast<double>(state.iterations()) : 0;
    }

private:
    std::chrono::steady_clock::time_point start_;
};

// Beside a case's own figure: its time as a multiple of its floor (x_floor:
// 1.0 is the floor itself), or its throughput as a share of the chain's
// bound, 16 bytes per compression of the one-chain floor (of_chain_bound:
// 1.0 is the bound).
void ReportTimesFloor(benchmark::State& state, double seconds, int chains) {
    const double floor = FloorSeconds(chains);
    if (floor > 0) state.counters["x_floor"] = seconds / floor;
}

void ReportShareOfChainBound(benchmark::State& state, double seconds, double bytes) {
    const double floor = FloorSeconds(1);
    if (floor > 0 && seconds > 0) state.counters["of_chain_bound"] = (bytes / seconds) / (16.0 * 50001 / floor);
}

void BM_StretchSecret(benchmark::State& state) {
    if (!UsePath(state)) return;
    uint8_t salt[32] = {1, 2, 3}, out[32];
    FloorSeconds(1);
    WallClock clock;
    for (auto _ : state) {
        StretchSecret("correct horse battery staple", salt, out);
        benchmark::DoNotOptimize(out);
    }
    ReportTimesFloor(state, clock.PerIteration(state), 1);
    RestorePath();
}
BENCHMARK(BM_StretchSecret)->Arg(2)->Arg(0)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Min);

// The two stretches of unlocking one file (header key and body key).
void BM_StretchSecretPair(benchmark::State& state) {
    if (!UsePath(state)) return;
    uint8_t saltA[32] = {1, 2, 3}, saltB[32] = {4, 5, 6}, a[32], b[32];
    FloorSeconds(2);
    WallClock clock;
    for (auto _ : state) {
        StretchSecretPair("correct horse battery staple", saltA, a, saltB, b);
        benchmark::DoNotOptimize(a);
        benchmark::DoNotOptimize(b);
    }
    ReportTimesFloor(state, clock.PerIteration(state), 2);
    RestorePath();
}
BENCHMARK(BM_StretchSecretPair)->Arg(2)->Arg(0)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Min);

// The body cipher alone, in memory, both ways, in calls of a megabyte as
// the pipelines make them: what encryptfile and decryptfile cost without
// the file system. Argument 2: 3 for long runs split over two threads or
// not as their measured times say (as shipped), 2 for every long run split,
// 1 for everything on the calling thread. Run beside a busy loop to see
// the cost of a second core that is not free.
const char* SplitLabel(int64_t form) {
    return form == 3 ? ", measured choice" : form == 2 ? ", two threads" : ", one thread";
}

void BM_BodyCipher(benchmark::State& state) {
    if (!UsePath(state)) return;
    const bool encrypt = state.range(1) != 0;
    const corva::SplitRuns split = state.range(2) == 3   ? corva::SplitRuns::Measured
                                   : state.range(2) == 2 ? corva::SplitRuns::Always
                                                         : corva::SplitRuns::Never;
    std::vector<uint8_t> data(1u << 20, 0x5A);
    uint8_t seed[32] = {7}, iv[16] = {9};
    corva::SetSplitCipherRunsForTesting(split);
    FloorSeconds(1);
    {
        corva::BodyCipher cipher(seed, iv, encrypt);
        WallClock clock;
        for (auto _ : state) cipher.Process(data.data(), data.size() / 16);
        ReportShareOfChainBound(state, clock.PerIteration(state), static_cast<double>(data.size()));
    }
    corva::SetSplitCipherRunsForTesting(corva::SplitRuns::Measured);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(data.size()));
    state.SetLabel(std::string(encrypt ? "encipher, " : "decipher, ") + PathLabel(state.range(0)) +
                   SplitLabel(state.range(2)));
    RestorePath();
}
BENCHMARK(BM_BodyCipher)
    ->Args({2, 1, 3})->Args({2, 0, 3})->Args({2, 1, 2})->Args({2, 0, 2})->Args({2, 1, 1})->Args({2, 0, 1})
    ->Args({1, 1, 3})->Args({1, 0, 3})->Args({0, 1, 3})->Args({0, 0, 3})
    ->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Min)->UseRealTime();

// The chain half of the body cipher alone: the keys of a megabyte's blocks
// (one compression each, and the 32-byte key stored), as the cipher's
// calling thread hashes them while the other does the AES half. No form of
// the cipher is faster than this; the cipher is reported against it too.
void BM_BodyKeys(benchmark::State& state) {
    if (!UsePath(state)) return;
    std::vector<uint8_t> keys((1u << 20) / 16 * 32);
    uint8_t key[32] = {7};
    uint32_t counter = 0;
    FloorSeconds(1);
    WallClock clock;
    for (auto _ : state) {
        corva::HashBlockKeys(corva::ActiveCryptoPath(), key, &counter, keys.data(), keys.size() / 32);
        benchmark::DoNotOptimize(keys.data());
    }
    ReportShareOfChainBound(state, clock.PerIteration(state), static_cast<double>(1u << 20));
    RestorePath();
}
BENCHMARK(BM_BodyKeys)->Arg(2)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Min)->UseRealTime();

void BM_encryptfile(benchmark::State& state) {
    if (!UsePath(state)) return;
    const std::wstring src = ScratchPath("payload"), dst = ScratchPath("payload.corvastine");
    WritePayload(src);
    FloorSeconds(1);
    WallClock clock;
    for (auto _ : state) {
        if (encryptfile("bench", src.c_str(), dst.c_str(), true, nullptr) != 0) state.SkipWithError("encryptfile failed");
    }
    ReportShareOfChainBound(state, clock.PerIteration(state), static_cast<double>(kPayload));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kPayload));
    plat::RemoveFile(src);
    plat::RemoveFile(dst);
    RestorePath();
}
BENCHMARK(BM_encryptfile)->Arg(2)->Arg(0)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Min)->UseRealTime();

void BM_decryptfile(benchmark::State& state) {
    if (!UsePath(state)) return;
    const std::wstring src = ScratchPath("payload2"), locked = ScratchPath("payload2.corvastine"),
                       out = ScratchPath("payload2.out");
    WritePayload(src);
    encryptfile("bench", src.c_str(), locked.c_str(), true, nullptr);
    FloorSeconds(1);
    WallClock clock;
    for (auto _ : state) {
        if (decryptfile("bench", locked.c_str(), out.c_str(), true, nullptr) != 0) state.SkipWithError("decryptfile failed");
    }
    ReportShareOfChainBound(state, clock.PerIteration(state), static_cast<double>(kPayload));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kPayload));
    plat::RemoveFile(src);
    plat::RemoveFile(locked);
    plat::RemoveFile(out);
    RestorePath();
}
BENCHMARK(BM_decryptfile)->Arg(2)->Arg(0)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Min)->UseRealTime();

// What encryptfile and decryptfile (and unlocking) cannot overlap with
// their cipher: once the last block is written, the output is flushed to
// stable storage and renamed over the copy it replaces, which is then freed
// as a locked file is after an unlock. Argument: MiB written as the engine
// writes them (FileSink, with its write-back); only the publishing is
// timed. Chain time + this bounds a file operation on this disk.
void BM_PublishFloor(benchmark::State& state) {
    const std::wstring dst = ScratchPath("published");
    const std::vector<uint8_t> block(256u << 10, 0xA5);
    const size_t blocks = static_cast<size_t>(state.range(0)) * 4;
    auto write = [&](plat::PendingFile& out) {
        corva::FileSink sink(out.Data());
        bool ok = out.Create(dst);
        for (size_t n = 0; ok && n < blocks; ++n) ok = sink.Write(block.data(), block.size());
        return ok;
    };
    {
        plat::PendingFile first;  // every publishing below replaces a copy
        if (!write(first) || !first.Publish(true)) state.SkipWithError("cannot write the output");
    }
    for (auto _ : state) {
        plat::PendingFile out;
        const bool ok = write(out);
        const auto start = std::chrono::steady_clock::now();
        if (!ok || !out.Publish(true)) state.SkipWithError("cannot write the output");
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    plat::RemoveFile(dst);
}
BENCHMARK(BM_PublishFloor)->Arg(64)->Arg(256)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Min)->UseManualTime();

// 64 MiB of numbered lines of words, compressible like documents.
const std::vector<uint8_t>& Text() {
    static const std::vector<uint8_t> text = [] {
        std::vector<uint8_t> t;
        t.reserve(kPayload + 256);
        const char* words[] = {"lock", "unlock", "shred", "vault", "folder", "password", "file", "drive",
                               "report", "invoice", "letter", "photo", "the", "a", "of", "and"};
        uint32_t x = 1;
        char line[32];
        for (unsigned n = 0; t.size() < kPayload; ++n) {
            int len = std::snprintf(line, sizeof line, "%08u", n);
            t.insert(t.end(), line, line + len);
            for (int w = 0; w < 12; ++w) {
                x = x * 1103515245u + 12345u;
                const char* word = words[(x >> 16) % 16];
                t.push_back(' ');
                while (*word) t.push_back(static_cast<uint8_t>(*word++));
            }
            t.push_back('\n');
        }
        t.resize(kPayload);
        return t;
    }();
    return text;
}

// Deflate of the 64 MiB text at the default level: one zlib stream on one
// core (argument 1) or the parallel writer on all cores (argument 0).
void BM_Deflate(benchmark::State& state) {
    const std::vector<uint8_t>& text = Text();
    size_t out = 0;
    for (auto _ : state) {
        out = 0;
        if (state.range(0) == 1) {
            z_stream z{};
            deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
            std::vector<uint8_t> buf(1 << 20);
            z.next_in = const_cast<Bytef*>(text.data());
            z.avail_in = static_cast<uInt>(text.size());
            int rc;
            do {
                z.next_out = buf.data();
                z.avail_out = static_cast<uInt>(buf.size());
                rc = deflate(&z, Z_FINISH);
                out += buf.size() - z.avail_out;
            } while (rc == Z_OK);
            deflateEnd(&z);
        } else {
            corva::ParallelGzipWriter writer([&](const uint8_t*, size_t n) { return (out += n), true; });
            for (size_t at = 0; at < text.size(); at += 1 << 20) writer.Write(text.data() + at, 1 << 20);
            writer.Finish();
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kPayload));
    state.counters["ratio"] = static_cast<double>(out) / static_cast<double>(kPayload);
    state.SetLabel(state.range(0) == 1 ? "zlib, one core" : "parallel, all cores");
}
BENCHMARK(BM_Deflate)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Min)->UseRealTime();

// Whole-file lock (LockFile: compress, encipher, flush, read back, delete)
// and unlock of the 64 MiB text.
void BM_LockFile(benchmark::State& state) {
    const std::wstring plain = ScratchPath("text.txt"), locked = plain + L".corvastine";
    const std::vector<uint8_t>& text = Text();
    for (auto _ : state) {
        state.PauseTiming();
        plat::RemoveFile(locked);
        plat::File f;
        if (!f.Open(plain, plat::File::Mode::CreateAlways) || !f.Write(text.data(), text.size()) || !f.Close())
            state.SkipWithError("cannot write the text");
        state.ResumeTiming();
        if (corva::LockFile(plain, "bench", nullptr) != corva::kOk) state.SkipWithError("LockFile failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kPayload));
    plat::RemoveFile(locked);
}
BENCHMARK(BM_LockFile)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Min)->UseRealTime()->Iterations(3);

void BM_UnlockFile(benchmark::State& state) {
    const std::wstring plain = ScratchPath("text2.txt"), locked = plain + L".corvastine";
    const std::vector<uint8_t>& text = Text();
    plat::File f;
    if (!f.Open(plain, plat::File::Mode::CreateAlways) || !f.Write(text.data(), text.size()) || !f.Close() ||
        corva::LockFile(plain, "bench", nullptr) != corva::kOk) {
        state.SkipWithError("cannot lock the text");
        return;
    }
    std::vector<uint8_t> lockedBytes;
    {
        plat::File in;
        int64_t size = 0;
        size_t got = 0;
        if (in.Open(locked, plat::File::Mode::Read) && in.Size(&size)) {
            lockedBytes.resize(static_cast<size_t>(size));
            in.ReadFull(lockedBytes.data(), lockedBytes.size(), &got);
        }
    }
    for (auto _ : state) {
        state.PauseTiming();
        plat::RemoveFile(plain);
        plat::File out;
        if (!out.Open(locked, plat::File::Mode::CreateAlways) || !out.Write(lockedBytes.data(), lockedBytes.size()) ||
            !out.Close())
            state.SkipWithError("cannot write the locked file");
        state.ResumeTiming();
        if (corva::UnlockFile(locked, "bench", true, nullptr) != corva::kOk) state.SkipWithError("UnlockFile failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kPayload));
    plat::RemoveFile(plain);
    plat::RemoveFile(locked);
}
BENCHMARK(BM_UnlockFile)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Min)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
