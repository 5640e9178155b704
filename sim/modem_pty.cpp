#include "sim/modem_pty.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace mdk::sim {
namespace {

const char* const kOk = "\r\nOK\r\n";
const char* const kError = "\r\nERROR\r\n";

std::string normalised(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c != ' ' && c != '\t')
            out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
    return out;
}

bool isBasicCommand(const std::string& command) {
    for (const char* known : {"at", "atz", "ate0", "ate1", "at&f", "atv1", "atq0", "at+cfun=1"}) {
        if (command == known) return true;
    }
    return false;
}

}  // namespace

ModemPty::~ModemPty() {
    stop();
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
}

bool ModemPty::open(std::string& error) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128] = {};
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0) {
        error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios raw{};
    if (slave_ < 0 || ::tcgetattr(slave_, &raw) != 0) {
        error = std::string("cannot open ") + name + ": " + std::strerror(errno);
        return false;
    }
    ::cfmakeraw(&raw);
    ::cfsetspeed(&raw, B115200);
    ::tcsetattr(slave_, TCSANOW, &raw);
    // Answers nobody reads must not block the modem: writes to the master never wait.
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    slavePath_ = name;
    return true;
}

void ModemPty::setUsblanCommand(std::string command) {
    std::lock_guard lock(mutex_);
    usblanCommand_ = std::move(command);
}

void ModemPty::setModelName(std::string model) {
    std::lock_guard lock(mutex_);
    model_ = std::move(model);
}

void ModemPty::start() {
    if (master_ < 0 || thread_.joinable()) return;
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
}

void ModemPty::stop() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
}

std::vector<std::string> ModemPty::commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

std::string ModemPty::answer(const std::string& line) {
    const std::string command = normalised(line);
    if (command.empty()) return {};
    std::string usblan;
    std::string model;
    {
        std::lock_guard lock(mutex_);
        commands_.push_back(line);
        usblan = normalised(usblanCommand_);
        model = model_;
    }
    if (command == "at+mode=8") {
        if (onP2k_) onP2k_();
        return kOk;
    }
    if (!usblan.empty() && command == usblan) {
        if (onUsblan_) onUsblan_();
        return kOk;
    }
    if (command == "at+cgmi") return "\r\nMotorola\r\n" + std::string(kOk);
    if (command == "at+cgmm") return "\r\n" + model + "\r\n" + kOk;
    return isBasicCommand(command) ? kOk : kError;
}

void ModemPty::run() {
    char buffer[256];
    while (!stopping_) {
        pollfd pfd{master_, POLLIN, 0};
        if (::poll(&pfd, 1, 100) <= 0 || !(pfd.revents & POLLIN)) continue;
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0) feed(buffer, static_cast<size_t>(n));
    }
}

void ModemPty::feed(const char* data, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        const char c = data[i];
        if (c != '\r' && c != '\n') {
            if (line_.size() < kMaxLine) {
                line_.push_back(c);
            } else {
                overlong_ = true;
            }
            continue;
        }
        if (overlong_) {
            reply(kError);
        } else {
            reply(answer(line_));
        }
        line_.clear();
        overlong_ = false;
    }
}

void ModemPty::reply(const std::string& text) {
    if (text.empty()) return;
    if (::write(master_, text.data(), text.size()) < 0 && errno == EAGAIN) {
        // The host never read the earlier answers: drop them and answer this one.
        ::tcflush(slave_, TCIFLUSH);
        [[maybe_unused]] ssize_t again = ::write(master_, text.data(), text.size());
    }
}

}  // namespace mdk::sim
