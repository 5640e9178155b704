#include "base/clock.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace mdk {

uint64_t SystemClock::nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void SystemClock::sleepMs(uint32_t ms) {
    // An absolute deadline: the wait ends at the first wake-up past it, however the sleep is
    // interrupted. A caller that wants it to end close to the deadline narrows its thread's
    // timer slack (platform/fine_sleep.h).
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(ms);
    while (steady_clock::now() < deadline) std::this_thread::sleep_until(deadline);
}

uint64_t ManualClock::nowMs() {
    return std::atomic_ref<uint64_t>(now_).load();
}

void ManualClock::sleepMs(uint32_t ms) {
    advance(ms);
}

void ManualClock::advance(uint64_t ms) {
    std::atomic_ref<uint64_t>(now_).fetch_add(ms);
}

}  // namespace mdk
