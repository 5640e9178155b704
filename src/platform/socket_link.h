#pragma once
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "platform/driver_link.h"

namespace mdk {

// The driver link to a phone emulator over a stream socket: each driver request is sent
// as code, capacity, input length and input (little-endian), and answered by status,
// output length and output. A reply missing past the request's wait time, or the
// emulator closing the socket, takes the interface down.
class SocketLink final : public DriverLink {
public:
    // Connects to "unix:PATH" or "tcp:HOST:PORT"; nullptr with error set on failure.
    static std::unique_ptr<SocketLink> connect(const std::string& address, std::string& error);
    ~SocketLink() override;

    DriverStatus request(uint32_t code, std::span<const uint8_t> input, size_t capacity,
                         std::vector<uint8_t>& output, uint32_t waitMs) override;
    DriverStatusPair requestBoth(const DriverRequest& first, std::vector<uint8_t>& firstOutput,
                                 const DriverRequest& second,
                                 std::vector<uint8_t>& secondOutput) override;
    bool isOpen() const override { return fd_ >= 0; }
    void close() override;
    std::string devicePath() const override;
    bool waitForRemoval() override;
    void stopWaiting() override;

private:
    SocketLink(int fd, std::string address);
    void closeLocked();
    // Last: no other reply is owed after this one; MoreFollow: another is, so this one is
    // read to its exact end.
    enum class ReplyRead { Last, MoreFollow };
    // Reads one reply: status, output length and output, within waitMs.
    DriverStatus receiveReply(int fd, size_t capacity, std::vector<uint8_t>& output,
                              uint32_t waitMs, ReplyRead read);
    // Takes the link down after a failed reply; returns status.
    DriverStatus down(DriverStatus status, std::vector<uint8_t>& output);
    static int millisecondsLeft(std::chrono::steady_clock::time_point deadline);

    mutable std::mutex mutex_;
    std::atomic<int> fd_;
    std::string address_;
    uint32_t receiveWaitMs_ = 0;  // the receive time-out set on the socket, 0 before the first
    std::atomic<bool> stopWaiting_{false};
};

}  // namespace mdk
