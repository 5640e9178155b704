#include "platform/socket_io.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace mdk::net {
namespace {

int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool splitHostPort(const std::string& text, std::string& host, uint16_t& port) {
    size_t colon = text.rfind(':');
    if (colon == std::string::npos) return false;
    host = text.substr(0, colon);
    const std::string portText = text.substr(colon + 1);
    if (portText.empty() || portText.size() > 5) return false;
    unsigned long value = 0;
    for (char c : portText) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    if (value > 65535) return false;
    port = static_cast<uint16_t>(value);
    return !host.empty();
}

bool unixAddress(const std::string& path, sockaddr_un& addr, std::string& error) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path) {
        error = "socket path is empty or too long: " + path;
        return false;
    }
    std::memcpy(addr.sun_path, path.data(), path.size());
    return true;
}

bool ipv4Address(const std::string& host, uint16_t port, sockaddr_in& addr, std::string& error) {
    std::memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    std::string h = host == "localhost" ? "127.0.0.1" : host;
    if (::inet_pton(AF_INET, h.c_str(), &addr.sin_addr) != 1) {
        error = "not an IPv4 address: " + host;
        return false;
    }
    return true;
}

}  // namespace

bool sendAll(int fd, const void* data, size_t length) {
    const std::span<const uint8_t> whole[1] = {{static_cast<const uint8_t*>(data), length}};
    return sendGathered(fd, whole);
}

bool sendParts(int fd, std::span<const uint8_t> head, std::span<const uint8_t> body) {
    const std::span<const uint8_t> parts[2] = {head, body};
    return sendGathered(fd, parts);
}

bool sendGathered(int fd, std::span<const std::span<const uint8_t>> parts) {
    iovec vectors[kMaxGatheredParts];
    if (parts.size() > kMaxGatheredParts) return false;
    size_t left = 0;
    for (size_t i = 0; i < parts.size(); ++i) {
        vectors[i] = {const_cast<uint8_t*>(parts[i].data()), parts[i].size()};
        left += parts[i].size();
    }
    iovec* first = vectors;
    size_t count = parts.size();
    while (left > 0) {
        msghdr message{};
        message.msg_iov = first;
        message.msg_iovlen = count;
        ssize_t n = ::sendmsg(fd, &message, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        left -= static_cast<size_t>(n);
        // A partial send: skip what went out and go on from there.
        auto sent = static_cast<size_t>(n);
        while (count > 0 && sent >= first->iov_len) {
            sent -= first->iov_len;
            ++first;
            --count;
        }
        if (count > 0) {
            first->iov_base = static_cast<uint8_t*>(first->iov_base) + sent;
            first->iov_len -= sent;
        }
    }
    return true;
}

long receiveParts(int fd, std::span<uint8_t> head, std::span<uint8_t> body) {
    iovec parts[2] = {{head.data(), head.size()}, {body.data(), body.size()}};
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = body.empty() ? 1 : 2;
    for (;;) {
        ssize_t n = ::recvmsg(fd, &message, 0);
        if (n < 0 && errno == EINTR) continue;
        return static_cast<long>(n);
    }
}

bool setReceiveTimeout(int fd, uint32_t timeoutMs) {
    if (timeoutMs == 0) timeoutMs = 1;  // zero would mean no limit at all
    timeval wait{};
    wait.tv_sec = static_cast<time_t>(timeoutMs / 1000);
    wait.tv_usec = static_cast<suseconds_t>(timeoutMs % 1000) * 1000;
    return ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait) == 0;
}

void setNoDelay(int fd) {
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) return;
    if (local.ss_family != AF_INET && local.ss_family != AF_INET6) return;
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

bool receiveExact(int fd, void* out, size_t length, int timeoutMs) {
    auto* p = static_cast<uint8_t*>(out);
    const int64_t deadline = nowMs() + timeoutMs;
    size_t got = 0;
    while (got < length) {
        int wait = -1;
        if (timeoutMs >= 0) {
            int64_t left = deadline - nowMs();
            if (left <= 0) return false;
            wait = static_cast<int>(left);
        }
        pollfd pfd{fd, POLLIN, 0};
        int ready = ::poll(&pfd, 1, wait);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        ssize_t n = ::recv(fd, p + got, length - got, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        got += static_cast<size_t>(n);
    }
    return true;
}

int connectAddress(const std::string& address, std::string& error) {
    if (address.rfind("unix:", 0) == 0) {
        sockaddr_un addr;
        if (!unixAddress(address.substr(5), addr, error)) return -1;
        int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            const int reason = errno;
            struct stat st;
            const std::string path = address.substr(5);
            if (::stat(path.c_str(), &st) == 0 && !S_ISSOCK(st.st_mode)) {
                error = "cannot connect to " + address + ": " + path + " is not a socket";
            } else {
                error = "cannot connect to " + address + ": " + std::strerror(reason);
            }
            if (fd >= 0) ::close(fd);
            return -1;
        }
        return fd;
    }
    if (address.rfind("tcp:", 0) == 0) {
        std::string host;
        uint16_t port = 0;
        if (!splitHostPort(address.substr(4), host, port)) {
            error = "bad address (want tcp:HOST:PORT): " + address;
            return -1;
        }
        return connectTcp(host, port, "", 5000, error);
    }
    error = "unknown address form (want unix:PATH or tcp:HOST:PORT): " + address;
    return -1;
}

int connectTcp(const std::string& host, uint16_t port, const std::string& localAddress,
               int timeoutMs, std::string& error) {
    sockaddr_in addr;
    if (!ipv4Address(host, port, addr, error)) return -1;
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return -1;
    }
    if (!localAddress.empty()) {
        sockaddr_in local;
        if (!ipv4Address(localAddress, 0, local, error) ||
            ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            if (error.empty()) error = "cannot bind to " + localAddress;
            ::close(fd);
            return -1;
        }
    }
    int flags = ::fcntl(fd, F_GETFL, 0);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    if (rc != 0 && errno == EINPROGRESS) {
        pollfd pfd{fd, POLLOUT, 0};
        if (::poll(&pfd, 1, timeoutMs) == 1) {
            int soError = 0;
            socklen_t len = sizeof soError;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len);
            rc = soError == 0 ? 0 : -1;
            errno = soError;
        } else {
            errno = ETIMEDOUT;
        }
    }
    if (rc != 0) {
        error =
            "cannot connect to " + host + ":" + std::to_string(port) + ": " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, flags);
    setNoDelay(fd);
    return fd;
}

int listenAddress(const std::string& address, std::string& error) {
    int fd = -1;
    if (address.rfind("unix:", 0) == 0) {
        sockaddr_un addr;
        if (!unixAddress(address.substr(5), addr, error)) return -1;
        ::unlink(addr.sun_path);
        fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            ::close(fd);
            fd = -1;
        }
    } else if (address.rfind("tcp:", 0) == 0) {
        std::string host;
        uint16_t port = 0;
        sockaddr_in addr;
        if (!splitHostPort(address.substr(4), host, port) ||
            !ipv4Address(host, port, addr, error)) {
            if (error.empty()) error = "bad address (want tcp:HOST:PORT): " + address;
            return -1;
        }
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        if (fd >= 0) ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            ::close(fd);
            fd = -1;
        }
    } else {
        error = "unknown address form (want unix:PATH or tcp:HOST:PORT): " + address;
        return -1;
    }
    if (fd < 0 || ::listen(fd, 4) != 0) {
        error = "cannot listen on " + address + ": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return -1;
    }
    return fd;
}

int boundPort(int fd) {
    sockaddr_in addr;
    socklen_t len = sizeof addr;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return -1;
    if (addr.sin_family != AF_INET) return -1;
    return ntohs(addr.sin_port);
}

}  // namespace mdk::net
