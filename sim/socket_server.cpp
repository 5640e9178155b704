#include "sim/socket_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "base/bytes.h"
#include "platform/socket_io.h"

namespace mdk::sim {
namespace {
constexpr uint32_t kMaxInput = 1 << 20;
}

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
        if (bringUpOnConnect_) phone_.setInterfaceUp(true);
        if (phone_.interfaceUp()) serveConnection(fd);
        ::close(fd);
    }
}

void SocketServer::serveConnection(int fd) {
    while (!stopping_) {
        pollfd pfd{fd, POLLIN, 0};
        int ready = ::poll(&pfd, 1, 100);
        if (ready == 0) continue;
        if (ready < 0) return;
        uint8_t header[12];
        if (!net::receiveExact(fd, header, sizeof header, 5000)) return;
        const uint32_t code = bytes::le32(header);
        const uint32_t capacity = bytes::le32(header + 4);
        const uint32_t length = bytes::le32(header + 8);
        if (length > kMaxInput) return;  // not this format: drop the connection
        std::vector<uint8_t> input(length);
        if (!net::receiveExact(fd, input.data(), length, 5000)) return;
        if (latencyMs_ > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(latencyMs_));
        }
        std::vector<uint8_t> output;
        DriverStatus status = phone_.handle(code, input, capacity, output);
        std::vector<uint8_t> reply;
        bytes::appendLe32(reply, status == DriverStatus::Completed ? 0u : 1u);
        bytes::appendLe32(reply, static_cast<uint32_t>(output.size()));
        reply.insert(reply.end(), output.begin(), output.end());
        if (!net::sendAll(fd, reply.data(), reply.size())) return;
        if (!phone_.interfaceUp()) return;  // left P2k mode (AT switch) or dropped
    }
}

}  // namespace mdk::sim
