#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// Small POSIX socket helpers shared by the emulator link, its server and the USBLAN link.
namespace mdk::net {

// Sends every byte (loops on partial sends). False on error.
bool sendAll(int fd, const void* data, size_t length);
// Sends head then body as one message: one system call when the socket takes it all,
// without copying them together first. False on error.
bool sendParts(int fd, std::span<const uint8_t> head, std::span<const uint8_t> body);
// Sends up to kMaxGatheredParts pieces, in order, as one message (loops on partial sends).
// False on error or too many pieces.
inline constexpr size_t kMaxGatheredParts = 8;
bool sendGathered(int fd, std::span<const std::span<const uint8_t>> parts);
// One read into head, then body (a scatter read), blocking at most the socket's receive
// time-out (setReceiveTimeout). The byte count, 0 at end of stream, -1 on error or
// time-out (errno EAGAIN/EWOULDBLOCK).
long receiveParts(int fd, std::span<uint8_t> head, std::span<uint8_t> body);
// Sets how long a blocking read on fd may wait (at least 1 ms). False on error.
bool setReceiveTimeout(int fd, uint32_t timeoutMs);
// Turns off Nagle's delay on a TCP socket, so each reply leaves at once; other sockets are
// left as they are.
void setNoDelay(int fd);
// Receives exactly length bytes within timeoutMs (negative: no limit). False on error,
// end of stream or time-out.
bool receiveExact(int fd, void* out, size_t length, int timeoutMs);
// Connects to "unix:PATH" or "tcp:HOST:PORT"; -1 with error set on failure.
int connectAddress(const std::string& address, std::string& error);
// Listens on "unix:PATH" or "tcp:HOST:PORT" (PORT 0 picks one); -1 with error set.
int listenAddress(const std::string& address, std::string& error);
// The TCP port a listening socket is bound to, or -1.
int boundPort(int fd);
// Connects to a TCP host and port, optionally bound to a local address first.
int connectTcp(const std::string& host, uint16_t port, const std::string& localAddress,
               int timeoutMs, std::string& error);

}  // namespace mdk::net
