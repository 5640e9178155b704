#include "platform/fine_sleep.h"

#include <time.h>

#include <cerrno>

#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace mdk {

FineTimerSlack::FineTimerSlack() {
#ifdef __linux__
    previous_ = ::prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
    if (previous_ >= 0) ::prctl(PR_SET_TIMERSLACK, kSlackNs, 0, 0, 0);
#endif
}

FineTimerSlack::~FineTimerSlack() {
#ifdef __linux__
    // Zero would mean "the default", not "no slack": a thread whose slack read as zero keeps
    // the fine one.
    if (previous_ > 0) ::prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(previous_), 0, 0, 0);
#endif
}

void sleepUntil(std::chrono::steady_clock::time_point deadline) {
    using namespace std::chrono;
    // The steady clock is CLOCK_MONOTONIC: the deadline's count is that clock's reading.
    const auto since = duration_cast<nanoseconds>(deadline.time_since_epoch()).count();
    if (since <= 0) return;
    timespec at{};
    at.tv_sec = static_cast<time_t>(since / 1'000'000'000);
    at.tv_nsec = static_cast<long>(since % 1'000'000'000);
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
}

void sleepFineMs(uint32_t ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    FineTimerSlack slack;
    sleepUntil(deadline);
}

void waitPreciseMs(uint32_t ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    {
        FineTimerSlack slack;
        sleepUntil(deadline - kBusyTail);
    }
    while (std::chrono::steady_clock::now() < deadline) {
    }
}

}  // namespace mdk
