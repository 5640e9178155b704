// Exchanges per second: one P2k exchange whose reply carries 1024 bytes (a seem read of a
// 1024-byte record, the size of a file-read block), against the in-process phone and
// against the emulator socket served by marrowdeck-phonesim's SocketServer, in both
// framings.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench/bench_phone.h"
#include "platform/driver_link.h"
#include "sim/socket_server.h"

namespace mdk::bench {
namespace {

constexpr uint16_t kSeem = 0x0200;
constexpr uint16_t kRecordBytes = 1024;

enum class Route { InProcess = 0, UnixSocket = 1 };

void runExchanges(benchmark::State& state, BenchPhone& phone) {
    std::vector<uint8_t> reply;
    for (auto _ : state) {
        if (phone.context.commands.phoneReadSeem(kSeem, 1, 0, kRecordBytes, reply) != 0 ||
            reply.size() != 1u + kRecordBytes) {
            state.SkipWithError("seem read failed");
            return;
        }
        benchmark::DoNotOptimize(reply.data());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * kRecordBytes);
    state.counters["exchanges_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// Args: route, framing (1 P2k05, 0 classic).
void BM_Exchange1024(benchmark::State& state) {
    const auto route = static_cast<Route>(state.range(0));
    const bool p2k05 = state.range(1) != 0;
    BenchPhone phone;
    phone.model.setSeem(kSeem, 1, std::vector<uint8_t>(kRecordBytes, 0x5A));
    phone.useFraming(p2k05);
    state.SetLabel(std::string(route == Route::InProcess ? "in-process" : "unix socket") +
                   (p2k05 ? ", P2k05" : ", classic"));
    if (route == Route::InProcess) {
        runExchanges(state, phone);
        return;
    }
    sim::SocketServer server(phone.phone);
    const std::string address = "unix:" + phone.folder.path() + "/phone.sock";
    std::string error;
    if (!server.listen(address, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    server.start();
    std::shared_ptr<DriverLink> link = openDriverLink(address, error);
    if (!link) {
        state.SkipWithError(error.c_str());
        return;
    }
    phone.context.driver.setLink(link);
    runExchanges(state, phone);
    link->close();
    server.stop();
}

BENCHMARK(BM_Exchange1024)
    ->ArgNames({"socket", "p2k05"})
    ->Args({0, 1})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Args({1, 0})
    ->MinTime(1.0)
    ->UseRealTime();

}  // namespace
}  // namespace mdk::bench
