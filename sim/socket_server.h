#pragma once
#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "sim/sim_phone.h"

namespace mdk::sim {

// Plays a SimPhone over the emulator socket: reads driver requests (code, capacity, input
// length, input; little-endian) and answers each with status, output length and output.
// One connection at a time; the connection is closed when the phone leaves P2k mode.
// By default a new connection plugs the phone in again (its interface comes up); with
// bring-up on connect off (a phone that starts in modem mode) a connection made while the
// interface is down is closed at once.
class SocketServer {
public:
    SocketServer(SimPhone& phone, uint32_t latencyMs = 0) : phone_(phone), latencyMs_(latencyMs) {}
    ~SocketServer();

    // Listens on "unix:PATH" or "tcp:HOST:PORT"; false with error set on failure.
    bool listen(const std::string& address, std::string& error);
    // Serves connections until stop(); blocks.
    void serve();
    // Serves on a background thread.
    void start();
    void stop();
    int port() const;
    void setBringUpOnConnect(bool on) { bringUpOnConnect_ = on; }

    // Serves one connected stream until it closes or the phone leaves P2k mode.
    void serveConnection(int fd);

private:
    SimPhone& phone_;
    uint32_t latencyMs_;
    int listenFd_ = -1;
    std::string socketPath_;  // a unix socket's file, removed when the server stops
    std::atomic<bool> bringUpOnConnect_{true};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace mdk::sim
