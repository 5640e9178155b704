#include "device/link_watch.h"

#include <chrono>
#include <cstdio>

#include "device/device_context.h"
#include "device/device_view.h"
#include "device/discovery.h"
#include "device/link_state.h"
#include "device/mode_switch.h"
#include "device/usblan_link.h"

namespace mdk {
namespace {
// Status-bar parts and their default texts (messages), in the order they are reset.
constexpr int kDefaultStatus[][2] = {{3, 77}, {1, 78}, {2, 79}, {0, 80}};
}  // namespace

LinkWatch::~LinkWatch() {
    stop();
}

void LinkWatch::start(bool onceOnly) {
    if (onceOnly && state_.watchersStarted) return;
    state_.watchersStarted = true;
    std::remove(usblan_.reportPath().c_str());
    if (!settings_.ftpSettingsCommand.empty()) {
        platform_.commands.start(
            expandCommandTemplate(settings_.ftpSettingsCommand, "", "", context_.programFolder));
    }
    state_.modemProbeCount = 0;
    state_.usblanSwitchSent = false;

    std::lock_guard lock(threadMutex_);
    if (thread_.joinable() && !finished_) return;
    if (thread_.joinable()) thread_.join();
    stopping_ = false;
    finished_ = false;
    const bool p2k = context_.runSettings.read().mode() == ConnectionMode::P2k;
    thread_ = std::thread([this, p2k] { run(p2k); });
}

void LinkWatch::run(bool p2k) {
    // The first step runs here rather than on the caller's thread, so that starting the
    // watch never blocks the window.
    if (p2k) {
        PhoneSession session(context_.transport);
        discovery_.openTestCommandInterface();
    } else {
        PhoneSession session(context_.transport);
        usblan_.refreshIpReport();
    }
    while (!stopping_ && !state_.restartRequested) {
        if (p2k) {
            p2kCycle();
        } else {
            usblanCycle();
        }
    }
    finished_ = true;
}

void LinkWatch::stop() {
    std::lock_guard lock(threadMutex_);
    if (!thread_.joinable()) return;
    stopping_ = true;
    waiter_.cancel();
    while (!finished_) {
        if (auto link = context_.driver.link()) link->stopWaiting();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    thread_.join();
    waiter_.reset();
}

void LinkWatch::p2kCycle() {
    modes_.attachP2k();
    UsbDriver& driver = context_.driver;
    if (driver.linkHandle() != 0 && !stopping_ && !state_.restartRequested) {
        state_.interfaceUp = true;
        context_.log.logLine("P2k Tci IF up.");
        if (attachPhone_) {
            PhoneSession session(context_.transport);
            attachPhone_();
        }
        state_.phoneAttached = true;
        view_.phoneInterfaceUp();
        std::shared_ptr<DriverLink> link = driver.link();
        if (stopping_) return;
        if (link && !link->waitForRemoval()) return;  // stopped, not removed
        linkDown();
    }
    waiter_.wait(kP2kRetryMs);
}

void LinkWatch::linkDown() {
    state_.interfaceUp = false;
    state_.phoneAttached = false;
    {
        PhoneSession session(context_.transport);
        context_.driver.clearLink();
    }
    EventLog& log = context_.log;
    log.logLine("P2k Tci IF down.");
    view_.phoneInterfaceDown();
    for (const auto& [part, message] : kDefaultStatus) {
        view_.setStatusText(part, log.message(message));
    }
}

void LinkWatch::usblanCycle() {
    modes_.attachUsblan();
    if (context_.driver.linkHandle() != 0) {
        if (!state_.usblanUp) context_.log.logLine("USBLAN IF up.");
        state_.usblanUp = true;
    }
    waiter_.wait(kUsblanRetryMs);
}

}  // namespace mdk
