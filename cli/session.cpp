#include "cli/session.h"

#include <unistd.h>

#include <cstdlib>

#include "base/messages.h"
#include "cli/phone_address.h"
#include "config/linux_settings.h"
#include "device/link_state.h"
#include "p2k/transport.h"
#include "sim/sim_link.h"

namespace mdk::cli {

void ConsoleView::flushLive() {
    if (live_.empty()) return;
    std::fprintf(stderr, "%s\n", live_.c_str());
    live_.clear();
}

void ConsoleView::appendLine(const std::string& text) {
    if (!showLog_) return;
    flushLive();
    live_ = text;  // the last line may still be replaced (the live line of a load)
}

void ConsoleView::replaceLastLine(const std::string& text) {
    if (showLog_) live_ = text;
}

void ConsoleView::setStatusText(int part, const std::string& text) {
    if (showLog_) appendLine("[status " + std::to_string(part) + "] " + text);
}

void ConsoleView::setPhoneLocations(const std::vector<VolumeEntry>& entries) {
    if (!showLog_) return;
    std::string text = "[locations]";
    for (const auto& e : entries) text += " | " + e.text;
    appendLine(text);
}

void ConsoleView::setRange(int low, int high) {
    low_ = low;
    high_ = high;
    position_ = low;
    drawProgress();
}

void ConsoleView::setPosition(int position) {
    position_ = position;
    drawProgress();
}

void ConsoleView::step() {
    ++position_;
    drawProgress();
}

void ConsoleView::drawProgress() {
    if (transferActive_ || showLog_ || !::isatty(STDERR_FILENO) || high_ <= low_) return;
    const int percent = std::min(100, 100 * (position_ - low_) / (high_ - low_));
    std::fprintf(stderr, "\r[%-40s] %3d%%", std::string(size_t(percent * 40 / 100), '#').c_str(),
                 percent);
    progressShown_ = true;
}

void ConsoleView::showTransfer(const TransferSnapshot& state) {
    if (showLog_ || !::isatty(STDERR_FILENO)) return;
    std::string line = transferProgressText(state);
    if (line.size() > kLineWidth) line = line.substr(0, kLineWidth - 3) + "...";
    std::fprintf(stderr, "\r%-*s", static_cast<int>(kLineWidth), line.c_str());
    progressShown_ = true;
}

void ConsoleView::finishProgress() {
    if (progressShown_) std::fprintf(stderr, "\n");
    progressShown_ = false;
    flushLive();
}

PromptAnswer ConsolePrompter::ask(const Prompt& prompt) {
    std::fprintf(stderr, "%s: %s\n", prompt.title.c_str(), prompt.text.c_str());
    return defaultAnswer(prompt.buttons);
}

Session::Session(const std::string& programFolder, bool showLog, bool trace)
    : context_(ProgramFiles::locate(programFolder), clock_), view_(showLog || trace) {
    context_.prompter.setTarget(&prompter_);
    context_.log.setView(&view_);
    context_.log.setPackets(trace);
    context_.commands.setProgress(&view_);
    context_.catalogue.setView(&view_);
    // One run, one command: a phone that stopped answering is not waited for again.
    context_.transport.setGiveUpWhenSilent(true);
    if (std::string error; !context_.files.createUserFolders(error)) throw CommandError{error};
    const std::string dataFolder = context_.files.dataFolder();
    if (loadMessages(context_.messages, dataFolder, context_.log, prompter_) != 0) {
        throw CommandError{"Messages.lng not found in " + dataFolder};
    }
}

void Session::checkInterfaceName(const std::string& address) {
    std::string name;
    if (context_.driver.interfaceName(name) != 0) {
        throw CommandError{"the phone at " + address + " does not answer"};
    }
    if (name != "Motorola Test Command") {
        throw CommandError{"not a P2k Test Command interface (\"" + name + "\")"};
    }
}

void Session::waitForPhone(const std::string& key, bool hold) {
    if (key.empty()) return;
    std::string error;
    if (!lock_.acquire(key, kLockWaitMs, error)) throw CommandError{error};
    if (!hold) lock_.release();
}

void Session::connectDevice(const std::string& address) {
    platform_ = std::make_unique<LinuxDevicePlatform>("usb");
    device_ = std::make_unique<DeviceConnection>(context_.device, platform_->services(),
                                                 deviceView_, noRestart_);
    if (address == "auto") {
        waitForPhone(phoneLockKey("usb"), false);
        if (device_->attachOnce() != 0) {
            waitForPhone(phoneLockKey("usb"), false);  // says so when another took it
            throw CommandError{"no P2k phone found"};
        }
        return;
    }
    const std::string target = address.substr(std::string("usblan:").size());
    const size_t colon = target.rfind(':');
    uint16_t port = kUsblanPort;
    std::string host = target;
    if (colon != std::string::npos) {
        auto parsed = parsePort(target.substr(colon + 1));
        if (!parsed) throw UsageError{"bad port in " + address};
        port = *parsed;
        host = target.substr(0, colon);
    }
    const std::optional<std::string> ip = resolveIpv4(host);
    if (!ip) throw CommandError{"cannot resolve the host name " + host};
    const std::string key = usblanLockKey(*ip, port);
    waitForPhone(key, false);
    if (device_->connectUsblan(*ip, port) != 0) {
        waitForPhone(key, false);
        throw CommandError{"no USBLAN phone answers at " + target};
    }
    usblan_ = true;
    checkAnswering();
}

void Session::connectWhenNeeded() {
    if (!connected_) connect(address_);
}

void Session::connect(const std::string& address) {
    address_ = address;
    connected_ = true;
    if (address == "auto" || address.rfind("usblan:", 0) == 0) {
        connectDevice(address);
        if (!usblan_) checkInterfaceName(address);
        return;
    }
    waitForPhone(phoneLockKey(address), true);
    std::string error;
    std::shared_ptr<DriverLink> link = sim::openLink(address, error);
    if (!link) throw CommandError{error.empty() ? "cannot open " + address : error};
    context_.driver.setLink(link);
    checkInterfaceName(address);
}

void Session::checkAnswering() const {
    const Transport& transport = context_.transport;
    if (transport.silent() && transport.silentReason().kind == FailureKind::NoReply) {
        std::string text = "the phone at " + address_ + " does not answer";
        if (!leftOnPhone_.empty()) text += "; " + leftOnPhone_;
        throw CommandError{text, failureExitCode_};
    }
}

std::string Session::usblanModel() const {
    return device_ ? device_->state().text(&LinkState::modelName) : std::string();
}

void Session::probe() {
    if (probed_ || usblan_) return;
    context_.commands.probeCommandSet();
    probed_ = true;
}

void Session::loadVolume(const std::string& phonePath) {
    probe();
    const std::string volume = volumeOf(phonePath);
    view_.setWantedVolume(volume);
    context_.catalogue.setCurrentVolume(volume);
    context_.catalogue.loadCatalogue();
    view_.finishProgress();
    checkAnswering();
    if (std::string problem = context_.catalogue.loadProblem(); !problem.empty()) {
        throw CommandError{problem};
    }
}

void Session::setVerifyTransfers(bool on) {
    const LinuxSettings settings = LinuxSettings::load(context_.files.configFolder(), std::getenv);
    context_.commands.setVerifyTransfers(on || settings.verifyTransfers);
}

std::string normalizePhonePath(std::string path) {
    if (path.rfind("P2k:", 0) == 0 || path.rfind("p2k:", 0) == 0) path = path.substr(4);
    if (path.empty() || path[0] != '/') path = "/" + path;
    if (path == "/") return path;
    // Every component between the slashes must be a name; one closing "/" is allowed.
    const std::string inner =
        path.size() > 1 && path.back() == '/' ? path.substr(0, path.size() - 1) : path;
    for (size_t start = 1; start <= inner.size();) {
        size_t slash = inner.find('/', start);
        if (slash == std::string::npos) slash = inner.size();
        const std::string part = inner.substr(start, slash - start);
        if (part.empty() || part == "." || part == "..") {
            throw CommandError{"bad phone path (an empty, \".\" or \"..\" component): " + path};
        }
        start = slash + 1;
    }
    return path;
}

std::string volumeOf(const std::string& phonePath) {
    if (phonePath.size() >= 2 && phonePath[0] == '/' && phonePath[1] != '/') {
        return phonePath.substr(0, 2);
    }
    return "/a";
}

}  // namespace mdk::cli
