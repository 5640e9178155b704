#include "device/device_platform.h"

#include <algorithm>

namespace mdk {

LinuxDevicePlatform::LinuxDevicePlatform(const std::string& linkAddress, LinkOpener opener)
    : interfaces_(linkAddress, std::move(opener)) {}

DevicePlatform LinuxDevicePlatform::services() {
    return {serialMap_, serialPorts_, disks_, interfaces_, network_, commands_};
}

bool Waiter::wait(uint32_t ms) {
    constexpr uint32_t kSlice = 100;
    while (ms > 0 && !cancelled_) {
        const uint32_t step = std::min(ms, kSlice);
        clock_.sleepMs(step);
        ms -= step;
    }
    return !cancelled_;
}

}  // namespace mdk
