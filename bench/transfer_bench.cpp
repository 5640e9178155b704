// 10 MiB download and upload through the in-process phone (open, seek, 1024-byte blocks,
// close), in both framings: the CPU time the program and the simulated phone spend per MiB.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench/bench_phone.h"
#include "p2k/file_transfer.h"

namespace mdk::bench {
namespace {

constexpr uint32_t kSize = 10u << 20;
constexpr double kMiB = kSize / double(1 << 20);
constexpr const char* kPhonePath = "/b/mobile/big.bin";  // /b holds 64 MiB, /a only 8
constexpr uint32_t kOpenMode = 0x0004;                   // "07    0004" as listed

std::vector<uint8_t> pattern() {
    std::vector<uint8_t> data(kSize);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 31 + (i >> 10));
    return data;
}

void setCounters(benchmark::State& state, double cpuSeconds, bool p2k05) {
    state.SetBytesProcessed(state.iterations() * int64_t(kSize));
    state.counters["cpu_ms_per_MiB"] = cpuSeconds * 1000 / (double(state.iterations()) * kMiB);
    state.SetLabel(p2k05 ? "P2k05" : "classic");
}

// Arg: framing (1 P2k05, 0 classic).
void BM_Download10MiB(benchmark::State& state) {
    const bool p2k05 = state.range(0) != 0;
    BenchPhone phone;
    const std::vector<uint8_t> data = pattern();
    phone.model.addFile(kPhonePath, data);
    phone.useFraming(p2k05);
    const double cpuStart = threadCpuSeconds();
    for (auto _ : state) {
        auto got = downloadPhoneFile(phone.context.commands, kPhonePath, kOpenMode, kSize);
        if (!got || *got != data) {
            state.SkipWithError("the download failed or differs");
            return;
        }
    }
    setCounters(state, threadCpuSeconds() - cpuStart, p2k05);
}
// The classic framing sleeps 1 ms before each fetch: one pass (about 10 s) is enough.
BENCHMARK(BM_Download10MiB)->ArgName("p2k05")->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Download10MiB)
    ->ArgName("p2k05")
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

void BM_Upload10MiB(benchmark::State& state) {
    const bool p2k05 = state.range(0) != 0;
    BenchPhone phone;
    const std::vector<uint8_t> data = pattern();
    phone.model.addFolder("/b/mobile");
    phone.useFraming(p2k05);
    const double cpuStart = threadCpuSeconds();
    for (auto _ : state) {
        if (uploadPhoneFile(phone.context.commands, kPhonePath, data) != 0) {
            state.SkipWithError("the upload failed");
            return;
        }
    }
    setCounters(state, threadCpuSeconds() - cpuStart, p2k05);
    if (phone.model.fileBytes(kPhonePath) != data) state.SkipWithError("the phone got other bytes");
}
BENCHMARK(BM_Upload10MiB)->ArgName("p2k05")->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Upload10MiB)
    ->ArgName("p2k05")
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

}  // namespace
}  // namespace mdk::bench
