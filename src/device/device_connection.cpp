#include "device/device_connection.h"

#include "device/device_context.h"
#include "device/link_state.h"

namespace mdk {

DeviceConnection::DeviceConnection(DeviceContext& context, DevicePlatform platform,
                                   DeviceView& view, AppControl& control, LinuxSettings settings)
    : context_(context),
      settings_(std::move(settings)),
      waiter_(context.clock),
      discovery_(context, context.link, platform),
      usblan_(context, context.commands, context.link, platform, view, settings_, waiter_),
      modes_(context, context.link, platform, discovery_, usblan_, context.prompter, control, view,
             waiter_),
      watch_(context, context.link, platform, discovery_, modes_, usblan_, view, waiter_,
             settings_) {
    context_.catalogue.setUsblanIdentityReader([this] { return usblan_.readModelName(); });
}

DeviceConnection::~DeviceConnection() {
    watch_.stop();
    context_.catalogue.setUsblanIdentityReader({});
}

LinkState& DeviceConnection::state() {
    return context_.link;
}

void DeviceConnection::setAttachPhone(std::function<int()> attachPhone) {
    watch_.setAttachPhone(std::move(attachPhone));
}

void DeviceConnection::startLinkWatch(bool onceOnly) {
    discovery_.applyConfiguredInterfaceIndex();
    watch_.start(onceOnly);
}

void DeviceConnection::stopLinkWatch() {
    watch_.stop();
}

void DeviceConnection::releaseLink() {
    watch_.stop();
    if (context_.driver.linkHandle() != 0) watch_.linkDown();
}

void DeviceConnection::closeLink() {
    watch_.stop();
    usblan_.closeLink();
}

int DeviceConnection::connectUsblan(const std::string& host, uint16_t port) {
    PhoneSession session(context_.transport);
    LinkState& state = context_.link;
    context_.runSettings.change([](RunValues& values) {
        values.connectionMode = static_cast<int32_t>(ConnectionMode::P2k05OverUsblan);
    });
    context_.driver.markUsblanLink();
    state.setText(&LinkState::phoneIp, host);
    state.usblanUp = true;
    state.phoneConnected = 1;
    const int result = usblan_.connectP2k05("", host, port);
    const std::string fatal = usblan_.takeFatalError();
    if (!fatal.empty()) context_.log.logLine(fatal);
    return result;
}

int DeviceConnection::attachOnce() {
    modes_.attachP2k();
    const int handle = context_.driver.linkHandle();
    return handle != 0 && handle != 1 ? 0 : -1;
}

}  // namespace mdk
