// The mounted phone (FUSE, so root and /dev/fuse): a 1 MiB file read through the folder
// against the same file fetched as `marrowdeck-cli get` fetches it, side by side at 1 ms per
// driver request; and `ls -lR` of a mounted phone with 65,534 files.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

#include "bench/bench_phone.h"
#include "mount/fuse_mount.h"
#include "mount/phone_fs.h"
#include "p2k/file_transfer.h"

namespace mdk::bench {
namespace {

constexpr size_t kFileSize = 1 << 20;
constexpr int kReadRounds = 5;
constexpr int kManyFiles = 65534;

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// The phone's file system mounted on a folder of its own, served on a thread.
class MountedPhone {
public:
    explicit MountedPhone(BenchPhone& phone)
        : fs_({phone.context.commands, phone.context.log, phone.context.config,
               phone.context.runSettings, phone.context.clock, phone.context.prompter,
               phone.context.files},
              options(phone)),
          mount_(fs_) {}
    ~MountedPhone() {
        if (server_.joinable()) {
            mount_.stop();
            server_.join();
        }
    }

    // Loads the catalogues and mounts; the problem, or empty.
    std::string start(double& loadMs) {
        if (::access("/dev/fuse", R_OK | W_OK) != 0) return "needs /dev/fuse (and root)";
        const auto begin = std::chrono::steady_clock::now();
        if (std::string problem = fs_.load(); !problem.empty()) return problem;
        loadMs = msSince(begin);
        std::promise<bool> mounted;
        server_ = std::thread([&] {
            const MountEnd end =
                mount_.serve(folder_.path(), false, [&] { mounted.set_value(true); });
            if (!end.started) mounted.set_value(false);
        });
        if (!mounted.get_future().get()) return "cannot mount on " + folder_.path();
        return {};
    }
    std::string path(const std::string& inside) const { return folder_.path() + inside; }

private:
    MountOptions options(BenchPhone& phone) {
        phone.context.commands.probeCommandSet();
        MountOptions mountOptions;
        mountOptions.cacheFolder = cache_.path();
        return mountOptions;
    }

    TempFolder cache_;
    TempFolder folder_;
    PhoneFs fs_;
    FuseMount mount_;
    std::thread server_;
};

// Reads a whole PC file in the kernel's 128 KiB requests; its size, or -1.
long readThrough(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return -1;
    std::vector<char> buffer(128 * 1024);
    long total = 0;
    for (ssize_t n; (n = ::read(fd, buffer.data(), buffer.size())) > 0;) total += n;
    ::close(fd);
    return total;
}

std::string fileName(int n) {
    return "/a/music/track_" + std::to_string(n) + ".mp3";
}

// Per round: one file fetched as get does (open, seek, read, close), then another file of
// the same size read through the mount, each from its first byte to its last.
void BM_MountReadVsGet1MiB(benchmark::State& state) {
    BenchPhone phone(sim::PhoneKind::P2k05Gsm, 1);
    for (int i = 0; i < 2 * kReadRounds; ++i) {
        phone.model.addFile(fileName(i), std::vector<uint8_t>(kFileSize, uint8_t(i)));
    }
    MountedPhone mounted(phone);
    double loadMs = 0;
    if (std::string problem = mounted.start(loadMs); !problem.empty()) {
        state.SkipWithError(problem.c_str());
        return;
    }
    const uint32_t mode = phoneOpenMode(0x07000400, false);
    double getMs = 0;
    double mountMs = 0;
    int round = 0;
    for (auto _ : state) {
        auto begin = std::chrono::steady_clock::now();
        auto data = downloadPhoneFile(phone.context.commands, fileName(2 * round), mode, kFileSize);
        getMs += msSince(begin);
        begin = std::chrono::steady_clock::now();
        const long read = readThrough(mounted.path(fileName(2 * round + 1)));
        mountMs += msSince(begin);
        if (!data || data->size() != kFileSize || read != long(kFileSize)) {
            state.SkipWithError("a read came out short");
            return;
        }
        ++round;
    }
    state.counters["get_ms"] = getMs / round;
    state.counters["mount_ms"] = mountMs / round;
    state.counters["mount_per_get"] = mountMs / getMs;
    state.SetLabel("goal: mount_per_get <= 1.05");
}
BENCHMARK(BM_MountReadVsGet1MiB)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(kReadRounds)
    ->UseRealTime();

// 65,534 files (the most a search can announce) in 300 folders of /a; the listing runs
// once, on attributes the kernel has not seen yet.
void BM_MountListAll65534(benchmark::State& state) {
    BenchPhone phone;
    phone.model.setListFolders(false);
    for (int i = 0; i < kManyFiles; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "/a/mobile/folder_%03d/picture_%05d.jpg", i % 300, i);
        phone.model.addFile(name, {});
    }
    MountedPhone mounted(phone);
    double loadMs = 0;
    if (std::string problem = mounted.start(loadMs); !problem.empty()) {
        state.SkipWithError(problem.c_str());
        return;
    }
    const std::string command = "ls -lR " + mounted.path("/a") + " > /dev/null";
    double listMs = 0;
    for (auto _ : state) {
        const auto begin = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("ls -lR failed");
            return;
        }
        listMs = msSince(begin);
    }
    state.counters["load_ms"] = loadMs;
    state.counters["ls_lR_ms"] = listMs;
    state.SetLabel("goal: ls_lR_ms <= 1000");
}
BENCHMARK(BM_MountListAll65534)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace
}  // namespace mdk::bench
