#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "sim/phone_model.h"

namespace mdk::sim {

// Plays a phone's P2k05-over-USBLAN service: a TCP server that takes P2k05 requests
// (sequence BE16, command BE16, four zero bytes, payload length BE32, payload) and answers
// each with a 12-byte header (0x80 in byte 0, the sequence at bytes 5-6, the data length
// BE16 at bytes 10-11) followed by the data. One connection is served at a time; a new
// connection replaces the one before (the host reconnected). Thread-safe.
class UsblanServer {
public:
    static constexpr uint16_t kPhonePort = 11000;
    static constexpr uint32_t kMaxPayload = 64 * 1024;

    explicit UsblanServer(PhoneModel& model, uint32_t latencyMs = 0)
        : model_(model), latencyMs_(latencyMs) {}
    ~UsblanServer();
    UsblanServer(const UsblanServer&) = delete;
    UsblanServer& operator=(const UsblanServer&) = delete;

    // Reserves "tcp:HOST:PORT" on a loopback address (PORT 0 picks one): the port is
    // known at once, connections are refused until start(). False with error set.
    bool bind(const std::string& address, std::string& error);
    // Accepts and serves on a background thread from now on (the phone's USBLAN interface
    // came up). Calling it again does nothing. False with error set when listening fails.
    bool start(std::string& error);
    // bind() and start() in one.
    bool listen(const std::string& address, std::string& error);
    void stop();
    bool running() const { return running_; }
    int port() const;
    // A silent phone accepts the connection and reads every request but never answers.
    void setSilent(bool on) { silent_ = on; }
    // File reads never end (see padEndlessRead).
    void setEndlessReads(bool on) { endlessReads_ = on; }
    // Number of requests answered so far.
    size_t requestsServed() const { return requests_; }

    // Serves one connected stream until it closes, a request is malformed or another
    // connection is waiting.
    void serveConnection(int fd);

private:
    void serve();
    bool answer(int fd);

    PhoneModel& model_;
    uint32_t latencyMs_;
    std::mutex mutex_;
    int listenFd_ = -1;
    std::atomic<bool> running_{false};
    std::atomic<bool> stopping_{false};
    std::atomic<bool> silent_{false};
    std::atomic<bool> endlessReads_{false};
    std::atomic<size_t> requests_{0};
    std::thread thread_;
};

}  // namespace mdk::sim
