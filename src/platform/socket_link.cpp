#include "platform/socket_link.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "base/bytes.h"
#include "platform/socket_io.h"

namespace mdk {

std::unique_ptr<SocketLink> SocketLink::connect(const std::string& address, std::string& error) {
    int fd = net::connectAddress(address, error);
    if (fd < 0) return nullptr;
    return std::unique_ptr<SocketLink>(new SocketLink(fd, address));
}

SocketLink::SocketLink(int fd, std::string address) : fd_(fd), address_(std::move(address)) {}

SocketLink::~SocketLink() {
    close();
}

void SocketLink::closeLocked() {
    int fd = fd_.exchange(-1);
    if (fd >= 0) ::close(fd);
}

void SocketLink::close() {
    std::lock_guard lock(mutex_);
    closeLocked();
}

std::string SocketLink::devicePath() const {
    return makeDevicePath(0x4901, 8, address_);
}

DriverStatus SocketLink::request(uint32_t code, std::span<const uint8_t> input, size_t capacity,
                                 std::vector<uint8_t>& output, uint32_t waitMs) {
    std::lock_guard lock(mutex_);
    output.clear();
    const int fd = fd_;
    if (fd < 0) return DriverStatus::Failed;
    std::vector<uint8_t> message;
    message.reserve(12 + input.size());
    bytes::appendLe32(message, code);
    bytes::appendLe32(message, static_cast<uint32_t>(capacity));
    bytes::appendLe32(message, static_cast<uint32_t>(input.size()));
    message.insert(message.end(), input.begin(), input.end());
    if (!net::sendAll(fd, message.data(), message.size())) {
        closeLocked();
        return DriverStatus::Failed;
    }
    uint8_t header[8];
    if (!net::receiveExact(fd, header, sizeof header, static_cast<int>(waitMs))) {
        closeLocked();  // no reply in time, or the emulator went away: the link is down
        return DriverStatus::TimedOut;
    }
    const int32_t status = static_cast<int32_t>(bytes::le32(header));
    const uint32_t length = bytes::le32(header + 4);
    if (length > capacity) {  // the emulator broke the format: the stream cannot be trusted
        closeLocked();
        return DriverStatus::Failed;
    }
    output.resize(length);
    if (!net::receiveExact(fd, output.data(), length, static_cast<int>(waitMs))) {
        output.clear();
        closeLocked();
        return DriverStatus::TimedOut;
    }
    return status == 0 ? DriverStatus::Completed : DriverStatus::Failed;
}

bool SocketLink::waitForRemoval() {
    // The emulator closing its end is the interface going away. Peek without consuming,
    // only while no request is in flight.
    while (!stopWaiting_) {
        {
            std::unique_lock lock(mutex_, std::try_to_lock);
            if (lock.owns_lock()) {
                int fd = fd_;
                if (fd < 0) return true;
                pollfd pfd{fd, POLLIN, 0};
                if (::poll(&pfd, 1, 0) > 0) {
                    uint8_t byte;
                    ssize_t n = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
                    if (n == 0 || (pfd.revents & (POLLHUP | POLLERR))) {
                        closeLocked();
                        return true;
                    }
                }
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    stopWaiting_ = false;
    return false;
}

void SocketLink::stopWaiting() {
    stopWaiting_ = true;
}

}  // namespace mdk
