#include "platform/socket_link.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
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

namespace {

// The 12-byte request head: code, capacity and input length.
std::array<uint8_t, 12> requestHead(uint32_t code, size_t capacity, size_t inputLength) {
    std::array<uint8_t, 12> head{};
    bytes::putLe32(head.data(), code);
    bytes::putLe32(head.data() + 4, static_cast<uint32_t>(capacity));
    bytes::putLe32(head.data() + 8, static_cast<uint32_t>(inputLength));
    return head;
}

}  // namespace

DriverStatus SocketLink::request(uint32_t code, std::span<const uint8_t> input, size_t capacity,
                                 std::vector<uint8_t>& output, uint32_t waitMs) {
    std::lock_guard lock(mutex_);
    output.clear();
    const int fd = fd_;
    if (fd < 0) return DriverStatus::Failed;
    const auto head = requestHead(code, capacity, input.size());
    if (!net::sendParts(fd, head, input)) {
        closeLocked();
        return DriverStatus::Failed;
    }
    return receiveReply(fd, capacity, output, waitMs, ReplyRead::Last);
}

DriverStatusPair SocketLink::requestBoth(const DriverRequest& first,
                                         std::vector<uint8_t>& firstOutput,
                                         const DriverRequest& second,
                                         std::vector<uint8_t>& secondOutput) {
    // Both requests leave in one write; the emulator answers them in order, so one round
    // trip carries both.
    std::lock_guard lock(mutex_);
    firstOutput.clear();
    secondOutput.clear();
    DriverStatusPair status;
    const int fd = fd_;
    if (fd < 0) return status;
    const auto firstHead = requestHead(first.code, first.capacity, first.input.size());
    const auto secondHead = requestHead(second.code, second.capacity, second.input.size());
    const std::span<const uint8_t> parts[4] = {firstHead, first.input, secondHead, second.input};
    if (!net::sendGathered(fd, parts)) {
        closeLocked();
        return status;
    }
    status.first =
        receiveReply(fd, first.capacity, firstOutput, first.waitMs, ReplyRead::MoreFollow);
    if (fd_ < 0) return status;  // the first reply took the link down: no second comes
    status.second = receiveReply(fd, second.capacity, secondOutput, second.waitMs, ReplyRead::Last);
    return status;
}

int SocketLink::millisecondsLeft(std::chrono::steady_clock::time_point deadline) {
    using namespace std::chrono;
    const auto left = ceil<milliseconds>(deadline - steady_clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

DriverStatus SocketLink::receiveReply(int fd, size_t capacity, std::vector<uint8_t>& output,
                                      uint32_t waitMs, ReplyRead read) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    if (waitMs != receiveWaitMs_) {
        if (!net::setReceiveTimeout(fd, waitMs)) {
            closeLocked();
            return DriverStatus::Failed;
        }
        receiveWaitMs_ = waitMs;
    }
    // One blocking read usually brings the whole reply: the header lands in head, the
    // output bytes straight in output. Whatever stayed behind is read with the time left.
    // With another reply behind this one, the first read takes the header only, so that
    // no byte of the next reply is read as this one's.
    uint8_t head[8];
    output.resize(capacity);
    const std::span<uint8_t> firstRead =
        read == ReplyRead::Last ? std::span<uint8_t>(output) : std::span<uint8_t>();
    const long got = net::receiveParts(fd, head, firstRead);
    if (got <= 0) return down(DriverStatus::TimedOut, output);  // time-out or emulator gone
    const size_t headGot = std::min<size_t>(static_cast<size_t>(got), sizeof head);
    if (headGot < sizeof head &&
        !net::receiveExact(fd, head + headGot, sizeof head - headGot, millisecondsLeft(deadline))) {
        return down(DriverStatus::TimedOut, output);
    }
    const int32_t status = static_cast<int32_t>(bytes::le32(head));
    const uint32_t length = bytes::le32(head + 4);
    const size_t bodyGot = static_cast<size_t>(got) - headGot;
    // A reply longer than the buffer, or bytes past the reply the emulator owes: it broke
    // the format, and the stream cannot be trusted.
    if (length > capacity || bodyGot > length) return down(DriverStatus::Failed, output);
    if (bodyGot < length && !net::receiveExact(fd, output.data() + bodyGot, length - bodyGot,
                                               millisecondsLeft(deadline))) {
        return down(DriverStatus::TimedOut, output);
    }
    output.resize(length);
    return status == 0 ? DriverStatus::Completed : DriverStatus::Failed;
}

DriverStatus SocketLink::down(DriverStatus status, std::vector<uint8_t>& output) {
    output.clear();
    closeLocked();  // no reply in time, the emulator went away or broke the format
    return status;
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
