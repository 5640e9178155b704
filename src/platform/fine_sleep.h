#pragma once
#include <chrono>
#include <cstdint>

// Short waits that end close to their deadline. A classic exchange waits 1 ms before each
// fetch, thousands of times per download; with the kernel's default timer slack (50 µs) and
// a relative sleep each wait runs noticeably past its millisecond.
namespace mdk {

// Narrows the calling thread's timer slack to a microsecond while it lives (Linux; a no-op
// elsewhere), and gives the thread its previous slack back at the end.
class FineTimerSlack {
public:
    FineTimerSlack();
    ~FineTimerSlack();
    FineTimerSlack(const FineTimerSlack&) = delete;
    FineTimerSlack& operator=(const FineTimerSlack&) = delete;

    // The slack asked for, in nanoseconds.
    static constexpr unsigned long kSlackNs = 1000;

private:
    long previous_ = -1;
};

// Sleeps until the steady clock reaches deadline: an absolute wait on the monotonic clock,
// resumed after signals, so it never ends early and does not drift.
void sleepUntil(std::chrono::steady_clock::time_point deadline);
// Sleeps at least ms milliseconds from now, with the calling thread's slack made fine.
void sleepFineMs(uint32_t ms);
// Waits ms milliseconds from now and ends within microseconds of that: it sleeps until
// kBusyTail before the deadline and spins the rest, paying that tail in CPU time. For the
// simulated phone's latency, which stands for hardware that answers on time, so that what
// a measurement sees past it is the program's own cost.
inline constexpr std::chrono::microseconds kBusyTail{150};
void waitPreciseMs(uint32_t ms);

}  // namespace mdk
