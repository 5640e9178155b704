#include "device/usblan_link.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "base/message_ids.h"
#include "device/device_context.h"
#include "device/device_view.h"
#include "device/link_state.h"
#include "p2k/command_set.h"
#include "p2k/phone_identity.h"
#include "platform/safe_file.h"
#include "platform/socket_io.h"

namespace mdk {
namespace {

constexpr uint32_t kReportWaitMs = 400;
constexpr uint32_t kBringUpWaitMs = 500;
constexpr uint32_t kShareMountWaitMs = 5000;
constexpr uint32_t kFtpMountWaitMs = 2000;
constexpr int kConnectTimeoutMs = 5000;

bool isAddressChar(char c) {
    return (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '/';
}

// End of the adapter's block: the start of the next line that begins at the left margin.
size_t blockEnd(std::string_view report, size_t from) {
    for (size_t lf = report.find('\n', from); lf != std::string_view::npos;
         lf = report.find('\n', lf + 1)) {
        if (lf + 1 >= report.size()) break;
        const char next = report[lf + 1];
        if (next != ' ' && next != '\t' && next != '\r' && next != '\n') return lf + 1;
    }
    return report.size();
}

}  // namespace

std::optional<AdapterMatch> findUsblanAdapter(std::string_view report) {
    size_t match = std::string_view::npos;
    for (const char* name : {"Motorola", "Belcarra", "USBLAN"}) {
        match = report.find(name);
        if (match != std::string_view::npos) break;
    }
    if (match == std::string_view::npos) return std::nullopt;
    AdapterMatch found;
    const size_t lineEnd = std::min(report.find_first_of("\r\n", match), report.size());
    found.line = std::string(report.substr(match, lineEnd - match));

    const std::string_view block = report.substr(0, blockEnd(report, match));
    size_t ip = block.find("IP", match);
    if (ip != std::string_view::npos && ip + 3 < block.size() && block[ip + 2] == 'v' &&
        block[ip + 3] == '6') {
        ip = block.find("IP", ip + 2);
    }
    if (ip == std::string_view::npos) return found;
    size_t at = block.find(':', ip);
    if (at == std::string_view::npos) return found;
    for (++at; at < block.size() && block[at] == ' '; ++at) {
    }
    size_t end = at;
    while (end < block.size() && block[end] != '\r' && isAddressChar(block[end])) ++end;
    found.adapterIp = std::string(block.substr(at, end - at));
    return found;
}

std::string usblanLockKey(const std::string& phoneIp, uint16_t port) {
    return "usblan:" + phoneIp + ":" + std::to_string(port);
}

std::string nextAddress(const std::string& address) {
    const size_t dot = address.rfind('.');
    const std::string last = address.substr(dot == std::string::npos ? 0 : dot + 1);
    if (last.empty() || last.size() > 9) return {};
    unsigned long value = 0;
    for (char c : last) {
        if (c < '0' || c > '9') return {};
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    return address.substr(0, address.size() - last.size()) + std::to_string(value + 1);
}

bool isIpv4Address(const std::string& text) {
    in_addr parsed;
    return ::inet_pton(AF_INET, text.c_str(), &parsed) == 1;
}

std::vector<std::string> usblanVolumeEntries() {
    return {"  /*", "  /ezxlocal/*", "  /usr/data_resource/*", "  /mmc/mmca1/*", "P2k phone seems"};
}

UsblanLink::UsblanLink(DeviceContext& context, CommandSet& commands, LinkState& state,
                       DevicePlatform platform, DeviceView& view, const LinuxSettings& settings,
                       Waiter& waiter)
    : context_(context),
      commands_(commands),
      state_(state),
      platform_(platform),
      view_(view),
      settings_(settings),
      waiter_(waiter) {}

UsblanLink::~UsblanLink() {
    closeSocket();
}

std::string UsblanLink::reportPath() const {
    return context_.programFile("IPREPORT");
}

std::string UsblanLink::takeFatalError() {
    std::string error;
    std::swap(error, fatalError_);
    return error;
}

void UsblanLink::refreshIpReport() {
    if (!settings_.ftpSettingsCommand.empty()) {
        platform_.commands.start(
            expandCommandTemplate(settings_.ftpSettingsCommand, "", "", context_.programFolder));
    }
    const std::string path = reportPath();
    std::remove(path.c_str());
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << platform_.network.report();
    }
    waiter_.wait(kReportWaitMs);
    if (!state_.driveMapped) bringUpUsblan();
}

void UsblanLink::dropLink() {
    if (context_.driver.linkHandle() == 1) {
        closeSocket();
        context_.driver.clearLink();
    }
}

int UsblanLink::bringUpUsblan() {
    waiter_.wait(kBringUpWaitMs);
    auto report = readTextFile(reportPath());
    if (!report) {
        dropLink();
        return -1;
    }
    auto adapter = findUsblanAdapter(*report);
    if (!adapter) {
        dropLink();
        return 0;
    }
    EventLog& log = context_.log;
    log.logLine(adapter->line);
    if (adapter->adapterIp.empty()) {
        // The adapter is there but has no address yet: the link is not up.
        log.logLine("! No IPv4 address on the USBLAN adapter yet.");
        dropLink();
        return 0;
    }
    log.logLine(adapter->adapterIp);
    state_.setText(&LinkState::adapterIp, adapter->adapterIp);
    context_.driver.markUsblanLink();

    const ConfigRecord& config = context_.config;
    const std::string phoneIp = config.useGivenIp ? context_.runSettings.optionTexts().usblanIp
                                                  : nextAddress(adapter->adapterIp);
    state_.setText(&LinkState::phoneIp, phoneIp);
    switch (context_.runSettings.read().mode()) {
        case ConnectionMode::UsblanSamba:
            mountShare(phoneIp);
            break;
        case ConnectionMode::UsblanFtp:
            if (!state_.driveMapped) mountFtp(phoneIp);
            break;
        case ConnectionMode::P2k05OverUsblan:
            state_.usblanUp = true;
            if (log.packets()) {
                log.logLine("Phone IP address is:");
                log.logLine(phoneIp);
            }
            connectP2k05(adapter->adapterIp, phoneIp, settings_.usblanPort);
            break;
        case ConnectionMode::P2k:
            break;
    }
    return 0;
}

void UsblanLink::mountShare(const std::string& phoneIp) {
    EventLog& log = context_.log;
    if (!isIpv4Address(phoneIp)) {
        log.logLine("! Not an IPv4 address: " + phoneIp);
        return;
    }
    const std::string& folder = context_.programFolder;
    const std::string mountPoint = expandTemplate(settings_.shareMountPoint, phoneIp, "", folder);
    log.logLine("Connecting...");
    platform_.commands.start(
        expandCommandTemplate(settings_.shareMountCommand, phoneIp, mountPoint, folder));
    waiter_.wait(kShareMountWaitMs);
    state_.setText(&LinkState::mountPoint, mountPoint);
    view_.refreshDriveEntries(mountPoint);
    log.logLine("Phone filesystem mapped at '" + mountPoint + "'");
    state_.driveMapped = true;
}

void UsblanLink::writeFtpServerList(const std::string& phoneIp) {
    const std::string actip = context_.programFile("ACTIP");
    std::remove(actip.c_str());
    {
        std::ofstream out(actip, std::ios::binary | std::ios::trunc);
        out << phoneIp << "\r\n";
    }
    // The FTP drive's server list: its first part followed by the address file.
    auto head = readTextFile(context_.programFile("FtpDrive/FtpServList1.txt"));
    if (!head) return;
    std::ofstream list(context_.programFile("FtpDrive/FtpServList.txt"),
                       std::ios::binary | std::ios::trunc);
    list << *head << phoneIp << "\r\n";
}

void UsblanLink::mountFtp(const std::string& phoneIp) {
    EventLog& log = context_.log;
    if (!isIpv4Address(phoneIp)) {
        log.logLine("! Not an IPv4 address: " + phoneIp);
        return;
    }
    writeFtpServerList(phoneIp);
    const std::string& folder = context_.programFolder;
    const std::string mountPoint = expandTemplate(settings_.ftpMountPoint, phoneIp, "", folder);
    state_.ftpDriveProcess = platform_.commands.start(
        expandCommandTemplate(settings_.ftpMountCommand, phoneIp, mountPoint, folder));
    waiter_.wait(kFtpMountWaitMs);
    state_.setText(&LinkState::mountPoint, mountPoint);
    view_.refreshDriveEntries(mountPoint);
    log.logLine("Phone filesystem mapped at '" + mountPoint + "'");
    state_.driveMapped = true;
}

void UsblanLink::closeSocket() {
    lock_.release();
    if (socket_ < 0) return;
    PhoneSession session(context_.transport);
    context_.transport.setUsblanSocket(-1);
    ::close(socket_);
    socket_ = -1;
}

int UsblanLink::connectP2k05(const std::string& adapterIp, const std::string& phoneIp,
                             uint16_t port) {
    PhoneSession session(context_.transport);
    EventLog& log = context_.log;
    RunSettings& run = context_.runSettings;
    Transport& transport = context_.transport;
    log.logLine("Initializing TCP/IP interface.");
    closeSocket();  // a new connection replaces the old one

    std::string error;
    // One client per phone: another program holding this phone gets it to itself.
    if (!lock_.acquire(usblanLockKey(phoneIp, port), 0, error)) {
        log.logLine("! " + error);
        return -1;
    }
    int fd = -1;
    if (isIpv4Address(phoneIp)) {
        bool bound = isIpv4Address(adapterIp);
        if (bound) fd = net::connectTcp(phoneIp, port, adapterIp, kConnectTimeoutMs, error);
        if (!bound || (fd < 0 && error.rfind("cannot connect", 0) != 0)) {
            if (!adapterIp.empty()) log.logLine("! Cannot bind socket to USBLAN IP address.");
            error.clear();
            fd = net::connectTcp(phoneIp, port, "", kConnectTimeoutMs, error);
        }
    } else {
        error = "cannot connect: not an IPv4 address: " + phoneIp;
    }
    transport.setP2k05Active(true);
    transport.setUsblanMode(true);
    run.change([](RunValues& values) { values.forceP2k05 = 1; });
    if (fd < 0) {
        lock_.release();
        if (error.rfind("cannot connect", 0) != 0) {
            fatalError_ = "! Cannot create a socket.";
            return -1;
        }
        log.logLine("! Cannot connect socket.");
        return -1;
    }
    socket_ = fd;
    transport.setUsblanSocket(fd);
    log.logLine("*** Connection successful.");
    commands_.runSessionSequence();
    run.change(SwitchFilterOn{"/a/*"});
    showUsblanVolumes();
    std::string first = run.read().searchPattern;
    first.replace(0, std::min<size_t>(2, first.size()), "  ");
    view_.replaceFirstLocation(first);
    return 0;
}

std::optional<std::string> UsblanLink::readModelName() {
    auto name = readUsblanModelName(commands_);
    if (name) state_.setText(&LinkState::modelName, *name);
    return name;
}

void UsblanLink::showUsblanVolumes() {
    PhoneSession session(context_.transport);
    EventLog& log = context_.log;
    view_.setStatusText(1, log.message(msg::kVolume) + "/");
    readModelName();
    view_.setStatusText(3, log.message(msg::kModel) + state_.text(&LinkState::modelName));
    view_.resetProgress();
    view_.showPhoneVolumes(usblanVolumeEntries());
}

void UsblanLink::closeLink() {
    const std::string phoneIp = state_.text(&LinkState::phoneIp);
    const std::string mountPoint = state_.text(&LinkState::mountPoint);
    const std::string& folder = context_.programFolder;
    switch (context_.runSettings.read().mode()) {
        case ConnectionMode::UsblanSamba:
            if (state_.driveMapped) {
                platform_.commands.start(expandCommandTemplate(settings_.shareUnmountCommand,
                                                               phoneIp, mountPoint, folder));
            }
            break;
        case ConnectionMode::UsblanFtp:
            if (state_.ftpDriveProcess > 0) platform_.commands.terminate(state_.ftpDriveProcess);
            state_.ftpDriveProcess = -1;
            if (state_.driveMapped) {
                platform_.commands.start(expandCommandTemplate(settings_.ftpUnmountCommand, phoneIp,
                                                               mountPoint, folder));
            }
            break;
        case ConnectionMode::P2k05OverUsblan:
            closeSocket();
            break;
        case ConnectionMode::P2k:
            break;
    }
}

}  // namespace mdk
