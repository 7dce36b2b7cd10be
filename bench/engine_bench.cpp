// Throughput of the engine's hot paths: password stretching, and the
// locked-file body cipher (encryptfile / decryptfile) on a 64 MiB payload.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/Crypto.h"
#include "engine/LockedFile.h"
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

void BM_StretchSecret(benchmark::State& state) {
    if (!UsePath(state)) return;
    uint8_t salt[32] = {1, 2, 3}, out[32];
    for (auto _ : state) {
        StretchSecret("correct horse battery staple", salt, out);
        benchmark::DoNotOptimize(out);
    }
    RestorePath();
}
BENCHMARK(BM_StretchSecret)->Arg(2)->Arg(0)->Unit(benchmark::kMillisecond);

// The two stretches of unlocking one file (header key and body key).
void BM_StretchSecretPair(benchmark::State& state) {
    if (!UsePath(state)) return;
    uint8_t saltA[32] = {1, 2, 3}, saltB[32] = {4, 5, 6}, a[32], b[32];
    for (auto _ : state) {
        StretchSecretPair("correct horse battery staple", saltA, a, saltB, b);
        benchmark::DoNotOptimize(a);
        benchmark::DoNotOptimize(b);
    }
    RestorePath();
}
BENCHMARK(BM_StretchSecretPair)->Arg(2)->Arg(0)->Unit(benchmark::kMillisecond);

// The body cipher alone, in memory: what encryptfile costs without the
// file system (and without its flush to stable storage).
// The body cipher alone, in memory, both ways: what encryptfile and
// decryptfile cost without the file system.
void BM_BodyCipher(benchmark::State& state) {
    if (!UsePath(state)) return;
    const bool encrypt = state.range(1) != 0;
    std::vector<uint8_t> data(1u << 20, 0x5A);
    uint8_t seed[32] = {7}, iv[16] = {9};
    corva::BodyCipher cipher(seed, iv, encrypt);
    for (auto _ : state) cipher.Process(data.data(), data.size() / 16);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(data.size()));
    state.SetLabel(std::string(encrypt ? "encipher, " : "decipher, ") + PathLabel(state.range(0)));
    RestorePath();
}
BENCHMARK(BM_BodyCipher)
    ->Args({2, 1})->Args({2, 0})->Args({1, 1})->Args({1, 0})->Args({0, 1})->Args({0, 0})
    ->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_encryptfile(benchmark::State& state) {
    if (!UsePath(state)) return;
    const std::wstring src = ScratchPath("payload"), dst = ScratchPath("payload.corvastine");
    WritePayload(src);
    for (auto _ : state) {
        if (encryptfile("bench", src.c_str(), dst.c_str(), true, nullptr) != 0) state.SkipWithError("encryptfile failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kPayload));
    plat::RemoveFile(src);
    plat::RemoveFile(dst);
    RestorePath();
}
BENCHMARK(BM_encryptfile)->Arg(2)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_decryptfile(benchmark::State& state) {
    if (!UsePath(state)) return;
    const std::wstring src = ScratchPath("payload2"), locked = ScratchPath("payload2.corvastine"),
                       out = ScratchPath("payload2.out");
    WritePayload(src);
    encryptfile("bench", src.c_str(), locked.c_str(), true, nullptr);
    for (auto _ : state) {
        if (decryptfile("bench", locked.c_str(), out.c_str(), true, nullptr) != 0) state.SkipWithError("decryptfile failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kPayload));
    plat::RemoveFile(src);
    plat::RemoveFile(locked);
    plat::RemoveFile(out);
    RestorePath();
}
BENCHMARK(BM_decryptfile)->Arg(2)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
