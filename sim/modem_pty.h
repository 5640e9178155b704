#pragma once
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace mdk::sim {

// The phone's modem port while it is in modem mode: a pseudo-terminal whose slave side the
// host opens as its COM port. Command lines end at CR or LF. "at+mode=8" switches the
// phone into P2k mode, the USBLAN switch command (default "at+mode=13") into USBLAN mode;
// both answer OK and call their handler. Other basic AT commands answer OK, anything else
// ERROR, as a modem does. Letter case is ignored; there is no echo. Thread-safe.
class ModemPty {
public:
    static constexpr size_t kMaxLine = 256;

    ModemPty() = default;
    ~ModemPty();
    ModemPty(const ModemPty&) = delete;
    ModemPty& operator=(const ModemPty&) = delete;

    // Opens the pseudo-terminal pair (raw mode, no echo). False with error set.
    bool open(std::string& error);
    // The path the host opens, e.g. "/dev/pts/7"; empty until open() succeeded.
    const std::string& slavePath() const { return slavePath_; }

    void setUsblanCommand(std::string command);
    void setModelName(std::string model);
    // Called on the modem's thread when the phone switches mode. Set before start().
    void onP2kMode(std::function<void()> handler) { onP2k_ = std::move(handler); }
    void onUsblanMode(std::function<void()> handler) { onUsblan_ = std::move(handler); }

    // Reads and answers command lines on a background thread until stop().
    void start();
    void stop();

    // The modem's answer to one command line (without its line end), e.g. "\r\nOK\r\n";
    // runs the mode handlers. Empty lines get no answer.
    std::string answer(const std::string& line);
    // Every command line received so far.
    std::vector<std::string> commands() const;

private:
    void run();
    void feed(const char* data, size_t length);
    void reply(const std::string& text);

    int master_ = -1;
    int slave_ = -1;  // kept open so the terminal survives the host closing its side
    std::string slavePath_;
    mutable std::mutex mutex_;
    std::string usblanCommand_ = "at+mode=13";
    std::string model_ = "Motorola phone";
    std::function<void()> onP2k_;
    std::function<void()> onUsblan_;
    std::vector<std::string> commands_;
    std::string line_;
    bool overlong_ = false;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace mdk::sim
