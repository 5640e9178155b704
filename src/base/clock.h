#pragma once
#include <cstdint>

namespace mdk {

// Time source for every time-out and wait of the program. Tests inject a manual clock so
// that 5000 ms or 40000 ms waits run without waiting.
class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary fixed point; never goes backwards.
    virtual uint64_t nowMs() = 0;
    // Blocks the calling thread for at least ms milliseconds (the system clock: until the
    // first wake-up past the deadline).
    virtual void sleepMs(uint32_t ms) = 0;
};

class SystemClock final : public Clock {
public:
    uint64_t nowMs() override;
    void sleepMs(uint32_t ms) override;
};

// A clock that only moves when slept on or advanced: sleeping returns at once and moves
// the time forward by the amount asked. Thread-safe.
class ManualClock final : public Clock {
public:
    uint64_t nowMs() override;
    void sleepMs(uint32_t ms) override;
    void advance(uint64_t ms);

private:
    uint64_t now_ = 1000;
};

}  // namespace mdk
