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
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
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
