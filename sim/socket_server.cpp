#include "sim/socket_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "base/bytes.h"
#include "platform/fine_sleep.h"
#include "platform/socket_io.h"

namespace mdk::sim {

SocketServer::~SocketServer() {
    stop();
}

bool SocketServer::listen(const std::string& address, std::string& error) {
    listenFd_ = net::listenAddress(address, error);
    if (listenFd_ >= 0 && address.rfind("unix:", 0) == 0) socketPath_ = address.substr(5);
    return listenFd_ >= 0;
}

int SocketServer::port() const {
    return net::boundPort(listenFd_);
}

void SocketServer::start() {
    thread_ = std::thread([this] { serve(); });
}

void SocketServer::stop() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    if (listenFd_ >= 0) ::close(listenFd_);
    listenFd_ = -1;
    if (!socketPath_.empty()) ::unlink(socketPath_.c_str());
    socketPath_.clear();
}

void SocketServer::serve() {
    while (!stopping_) {
        pollfd pfd{listenFd_, POLLIN, 0};
        if (::poll(&pfd, 1, 100) <= 0) continue;
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        net::setNoDelay(fd);
        if (bringUpOnConnect_) phone_.setInterfaceUp(true);
        if (phone_.interfaceUp()) serveConnection(fd);
        ::close(fd);
    }
}

bool SocketServer::answer(int fd, uint32_t code, uint32_t capacity, std::span<const uint8_t> input,
                          std::vector<uint8_t>& output) {
    if (latencyMs_ > 0) waitPreciseMs(latencyMs_);
    const DriverStatus status = phone_.handle(code, input, capacity, output);
    uint8_t head[8];
    bytes::putLe32(head, status == DriverStatus::Completed ? 0u : 1u);
    bytes::putLe32(head + 4, static_cast<uint32_t>(output.size()));
    return net::sendParts(fd, head, output);
}

void SocketServer::serveConnection(int fd) {
    // Blocking reads that give up every so often to look at stopping_; a reader that takes
    // whatever has arrived and answers every whole request in it.
    if (!net::setReceiveTimeout(fd, kStopCheckMs)) return;
    RequestBuffer buffer;
    std::vector<uint8_t> output;
    auto lastProgress = std::chrono::steady_clock::now();
    while (!stopping_) {
        if (const auto request = buffer.next()) {
            if (request->length > kMaxInput) return;  // not this format: drop the connection
            if (!answer(fd, request->code, request->capacity, request->input, output)) return;
            if (!phone_.interfaceUp()) return;  // left P2k mode (AT switch) or dropped
            continue;
        }
        const long got = buffer.readFrom(fd);
        if (got == 0) return;  // the program closed its end
        if (got > 0) {
            lastProgress = std::chrono::steady_clock::now();
        } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
            return;
        } else if (buffer.partial() &&
                   std::chrono::steady_clock::now() - lastProgress > kRequestWait) {
            return;  // half a request and then silence
        }
    }
}

std::optional<SocketServer::Request> SocketServer::RequestBuffer::next() {
    const size_t held = end_ - start_;
    if (held < kHeader) return std::nullopt;
    const uint8_t* head = bytes_.data() + start_;
    Request request{bytes::le32(head), bytes::le32(head + 4), bytes::le32(head + 8), {}};
    if (request.length > kMaxInput) return request;  // the caller drops the connection
    wanted_ = kHeader + request.length;
    if (held < wanted_) return std::nullopt;
    request.input = std::span<const uint8_t>(head + kHeader, request.length);
    start_ += wanted_;
    wanted_ = kHeader;
    return request;
}

long SocketServer::RequestBuffer::readFrom(int fd) {
    if (start_ == end_) start_ = end_ = 0;
    if (start_ > 0 && bytes_.size() - start_ < wanted_) {  // move the rest to the front
        std::copy(bytes_.begin() + static_cast<long>(start_),
                  bytes_.begin() + static_cast<long>(end_), bytes_.begin());
        end_ -= start_;
        start_ = 0;
    }
    if (bytes_.size() < std::max(wanted_, kChunk)) bytes_.resize(std::max(wanted_, kChunk));
    std::span<uint8_t> room(bytes_.data() + end_, bytes_.size() - end_);
    const long got = net::receiveParts(fd, room, {});
    if (got > 0) end_ += static_cast<size_t>(got);
    return got;
}

}  // namespace mdk::sim
