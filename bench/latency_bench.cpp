// A 1 MiB download from a classic phone whose link answers each driver request after 1 ms,
// against the floor of the classic framing: per 1024-byte block a send, a poll and a fetch
// of 1 ms each plus the 1 ms sleep before the fetch, 4 ms.
#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include "bench/bench_phone.h"
#include "p2k/file_transfer.h"

namespace mdk::bench {
namespace {

constexpr uint32_t kSize = 1u << 20;
constexpr uint32_t kBlocks = kSize / 1024;
constexpr double kFloorMsPerBlock = 4.0;
constexpr const char* kPhonePath = "/a/mobile/one_mib.bin";

void BM_Download1MiBAt1msLatency(benchmark::State& state) {
    BenchPhone phone(sim::PhoneKind::ClassicGsm, 1);
    const std::vector<uint8_t> data(kSize, 0xA5);
    phone.model.addFile(kPhonePath, data);
    phone.useFraming(false);
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        auto got = downloadPhoneFile(phone.context.commands, kPhonePath, 0x0004, kSize);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!got || got->size() != kSize) {
            state.SkipWithError("the download failed");
            return;
        }
    }
    const double msPerBlock = seconds * 1000 / (double(state.iterations()) * kBlocks);
    state.counters["ms_per_block"] = msPerBlock;
    state.counters["floor_ms_per_block"] = kFloorMsPerBlock;
    state.counters["ratio_to_floor"] = msPerBlock / kFloorMsPerBlock;
    state.SetBytesProcessed(state.iterations() * int64_t(kSize));
    state.SetLabel("classic framing, 1 ms per driver request");
}
BENCHMARK(BM_Download1MiBAt1msLatency)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace
}  // namespace mdk::bench
