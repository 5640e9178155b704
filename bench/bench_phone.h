#pragma once
// A program context wired to an in-process simulated phone, for the benchmarks: a real
// system clock (wall time is what they measure), a program folder of its own, and the
// phone's link set on the USB driver.
#include <stdlib.h>
#include <time.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "app/app_context.h"
#include "base/clock.h"
#include "sim/phone_model.h"
#include "sim/sim_link.h"
#include "sim/sim_phone.h"

namespace mdk::bench {

// A temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "mdk-bench-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempFolder() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// A phone of the given kind with its empty volumes (/a 8 MiB, /b 64 MiB, /c 4 MiB), reached
// through a SimLink that waits latencyMs before answering each driver request.
class BenchPhone {
public:
    explicit BenchPhone(sim::PhoneKind kind = sim::PhoneKind::P2k05Gsm, uint32_t latencyMs = 0)
        : context(folder.path(), clock),
          model(kind),
          phone(model),
          link(std::make_shared<sim::SimLink>(phone, latencyMs)) {
        context.driver.setLink(link);
    }

    // The framing of every exchange: P2k05 (send, receive) or classic (send, poll, fetch).
    void useFraming(bool p2k05) { context.transport.setP2k05Active(p2k05); }

    TempFolder folder;
    SystemClock clock;
    AppContext context;
    sim::PhoneModel model;
    sim::SimPhone phone;
    std::shared_ptr<sim::SimLink> link;
};

// Thread CPU time in seconds (the in-process phone runs on the benchmark's own thread).
inline double threadCpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace mdk::bench
