#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Small POSIX socket helpers shared by the emulator link, its server and the USBLAN link.
namespace mdk::net {

// Sends every byte (loops on partial sends). False on error.
bool sendAll(int fd, const void* data, size_t length);
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
