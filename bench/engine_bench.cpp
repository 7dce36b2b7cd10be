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

void BM_StretchSecret(benchmark::State& state) {
    uint8_t salt[32] = {1, 2, 3}, out[32];
    for (auto _ : state) {
        StretchSecret("correct horse battery staple", salt, out);
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_StretchSecret)->Unit(benchmark::kMillisecond);

// The body cipher alone, in memory: what encryptfile costs without the
// file system (and without its flush to stable storage).
void BM_BodyCipher(benchmark::State& state) {
    corva::ForcePortableBodyCipherForTesting(state.range(0) == 0);
    std::vector<uint8_t> data(1u << 20, 0x5A);
    uint8_t seed[32] = {7}, iv[16] = {9};
    corva::BodyCipher cipher(seed, iv, true);
    for (auto _ : state) cipher.Process(data.data(), data.size() / 16);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(data.size()));
    state.SetLabel(state.range(0) ? "AES instructions" : "libcrypto only");
    corva::ForcePortableBodyCipherForTesting(false);
}
BENCHMARK(BM_BodyCipher)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_encryptfile(benchmark::State& state) {
    corva::ForcePortableBodyCipherForTesting(state.range(0) == 0);
    const std::wstring src = ScratchPath("payload"), dst = ScratchPath("payload.corvastine");
    WritePayload(src);
    for (auto _ : state) {
        if (encryptfile("bench", src.c_str(), dst.c_str(), true, nullptr) != 0) state.SkipWithError("encryptfile failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kPayload));
    state.SetLabel(state.range(0) ? "AES instructions" : "libcrypto only");
    plat::RemoveFile(src);
    plat::RemoveFile(dst);
    corva::ForcePortableBodyCipherForTesting(false);
}
BENCHMARK(BM_encryptfile)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_decryptfile(benchmark::State& state) {
    corva::ForcePortableBodyCipherForTesting(state.range(0) == 0);
    const std::wstring src = ScratchPath("payload2"), locked = ScratchPath("payload2.corvastine"),
                       out = ScratchPath("payload2.out");
    WritePayload(src);
    encryptfile("bench", src.c_str(), locked.c_str(), true, nullptr);
    for (auto _ : state) {
        if (decryptfile("bench", locked.c_str(), out.c_str(), true, nullptr) != 0) state.SkipWithError("decryptfile failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kPayload));
    state.SetLabel(state.range(0) ? "AES instructions" : "libcrypto only");
    plat::RemoveFile(src);
    plat::RemoveFile(locked);
    plat::RemoveFile(out);
    corva::ForcePortableBodyCipherForTesting(false);
}
BENCHMARK(BM_decryptfile)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
