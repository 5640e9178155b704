#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

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
    static constexpr uint32_t kMaxInput = 1 << 20;
    static constexpr uint32_t kStopCheckMs = 100;
    // How long the rest of a request may take once its first bytes are in.
    static constexpr std::chrono::milliseconds kRequestWait{5000};

    // One driver request as it sits in the buffer.
    struct Request {
        uint32_t code;
        uint32_t capacity;
        uint32_t length;
        std::span<const uint8_t> input;
    };

    // The bytes read from the program, taken apart into requests. One read takes in
    // whatever has arrived (a whole request, usually), so a request costs one read.
    class RequestBuffer {
    public:
        // The next whole request (its input points into the buffer, valid until the next
        // read), or nothing while it is still incomplete. A request whose length is over
        // kMaxInput comes back at once, for the caller to refuse.
        std::optional<Request> next();
        // One read from fd into the buffer: the byte count, 0 at end of stream, -1 on error
        // or when the receive time-out passed.
        long readFrom(int fd);
        // True while part of a request has arrived.
        bool partial() const { return end_ > start_; }

    private:
        static constexpr size_t kHeader = 12;
        static constexpr size_t kChunk = 64 * 1024;
        std::vector<uint8_t> bytes_;
        size_t start_ = 0;
        size_t end_ = 0;
        size_t wanted_ = kHeader;  // bytes the request at start_ needs in all
    };

    // Answers one request: the phone's status, output length and output, in one write.
    bool answer(int fd, uint32_t code, uint32_t capacity, std::span<const uint8_t> input,
                std::vector<uint8_t>& output);

    SimPhone& phone_;
    uint32_t latencyMs_;
    int listenFd_ = -1;
    std::string socketPath_;  // a unix socket's file, removed when the server stops
    std::atomic<bool> bringUpOnConnect_{true};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace mdk::sim
