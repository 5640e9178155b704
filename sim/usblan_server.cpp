#include "sim/usblan_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "base/bytes.h"
#include "platform/socket_io.h"

namespace mdk::sim {
namespace {

constexpr size_t kHeader = 12;
constexpr int kReceiveWaitMs = 5000;

// "tcp:HOST:PORT" with a loopback IPv4 host ("localhost" included).
bool parseLoopback(const std::string& address, sockaddr_in& addr, std::string& error) {
    std::memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    const size_t colon = address.rfind(':');
    if (address.rfind("tcp:", 0) != 0 || colon == std::string::npos || colon < 4) {
        error = "bad USBLAN address (want tcp:127.0.0.1:PORT): " + address;
        return false;
    }
    std::string host = address.substr(4, colon - 4);
    const std::string portText = address.substr(colon + 1);
    if (host == "localhost") host = "127.0.0.1";
    char* end = nullptr;
    const unsigned long port = std::strtoul(portText.c_str(), &end, 10);
    if (portText.empty() || *end != '\0' || port > 65535 ||
        ::inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1) {
        error = "bad USBLAN address (want tcp:127.0.0.1:PORT): " + address;
        return false;
    }
    if ((ntohl(addr.sin_addr.s_addr) >> 24) != 127) {
        error = "the USBLAN server listens on loopback addresses only: " + host;
        return false;
    }
    addr.sin_port = htons(static_cast<uint16_t>(port));
    return true;
}

}  // namespace

UsblanServer::~UsblanServer() {
    stop();
}

bool UsblanServer::bind(const std::string& address, std::string& error) {
    sockaddr_in addr;
    if (!parseLoopback(address, addr, error)) return false;
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int on = 1;
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        error = "cannot bind " + address + ": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return false;
    }
    std::lock_guard lock(mutex_);
    if (listenFd_ >= 0) ::close(listenFd_);
    listenFd_ = fd;
    return true;
}

bool UsblanServer::start(std::string& error) {
    std::lock_guard lock(mutex_);
    if (running_) return true;
    if (listenFd_ < 0 || ::listen(listenFd_, 4) != 0) {
        error = listenFd_ < 0 ? "the USBLAN server has no address" : std::strerror(errno);
        return false;
    }
    stopping_ = false;
    running_ = true;
    thread_ = std::thread([this] { serve(); });
    return true;
}

bool UsblanServer::listen(const std::string& address, std::string& error) {
    return bind(address, error) && start(error);
}

void UsblanServer::stop() {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    running_ = false;
    if (listenFd_ >= 0) ::close(listenFd_);
    listenFd_ = -1;
}

int UsblanServer::port() const {
    return net::boundPort(listenFd_);
}

void UsblanServer::serve() {
    while (!stopping_) {
        pollfd pfd{listenFd_, POLLIN, 0};
        if (::poll(&pfd, 1, 100) <= 0) continue;
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        serveConnection(fd);
        ::close(fd);
    }
}

void UsblanServer::serveConnection(int fd) {
    while (!stopping_) {
        pollfd pfds[2] = {{fd, POLLIN, 0}, {listenFd_, POLLIN, 0}};
        const int ready = ::poll(pfds, listenFd_ >= 0 ? 2 : 1, 100);
        if (ready < 0 && errno != EINTR) return;
        if (ready <= 0) continue;
        if (pfds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            if (!answer(fd)) return;
        } else if (pfds[1].revents & POLLIN) {
            return;  // the host connected anew: serve the new connection
        }
    }
}

bool UsblanServer::answer(int fd) {
    uint8_t header[kHeader];
    if (!net::receiveExact(fd, header, kHeader, kReceiveWaitMs)) return false;
    const uint16_t sequence = bytes::be16(header) & 0x0FFF;
    const uint16_t command = bytes::be16(header + 2) & 0x0FFF;
    const uint32_t length = bytes::be32(header + 8);
    if (length > kMaxPayload) return false;  // not a P2k05 request: drop the connection
    std::vector<uint8_t> payload(length);
    if (length > 0 && !net::receiveExact(fd, payload.data(), length, kReceiveWaitMs)) {
        return false;
    }
    if (silent_) return true;  // takes the request and never answers
    CommandReply reply = model_.execute(command, payload);
    if (endlessReads_) padEndlessRead(command, payload, reply);
    if (reply.status != kStatusData) reply.data.clear();
    if (reply.data.size() > 0xFFFF) reply.data.resize(0xFFFF);
    if (latencyMs_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(latencyMs_));

    std::vector<uint8_t> out = {0x80, 0, 0, 0, 0};
    bytes::appendBe16(out, sequence);
    out.insert(out.end(), {0, 0, 0});
    bytes::appendBe16(out, static_cast<uint16_t>(reply.data.size()));
    out.insert(out.end(), reply.data.begin(), reply.data.end());
    ++requests_;
    return net::sendAll(fd, out.data(), out.size());
}

}  // namespace mdk::sim
