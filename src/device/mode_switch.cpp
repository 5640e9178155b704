#include "device/mode_switch.h"

#include "base/app_control.h"
#include "base/message_ids.h"
#include "base/prompter.h"
#include "device/device_context.h"
#include "device/device_view.h"
#include "device/discovery.h"
#include "device/link_state.h"
#include "device/usblan_link.h"

namespace mdk {
namespace {

constexpr uint32_t kP2kSwitchWaitMs = 5000;
constexpr uint32_t kUsblanSwitchWaitMs = 1024;
constexpr uint32_t kReconnectWaitMs = 2000;
constexpr uint32_t kUsblanQuestionPass = 4;

}  // namespace

std::string usblanSwitchBytes(const std::string& command) {
    return command + "\r\n" + command + "\r\n";
}

int ModeSwitcher::writeSwitch(const std::string& logText, const std::string& bytes) {
    const std::string port = state_.text(&LinkState::modemPort);
    context_.log.logLine(logText + " --> " + port);
    std::string error;
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    if (!platform_.serialPorts.writeCommand(port, {data, bytes.size()}, error)) {
        context_.log.logLine("! " + error);
        return -1;
    }
    return 0;
}

int ModeSwitcher::switchModemToP2k() {
    return writeSwitch(kP2kSwitchCommand, std::string(kP2kSwitchCommand) + "\r\n");
}

int ModeSwitcher::switchModemToUsblan() {
    const std::string command = context_.runSettings.optionTexts().usblanSwitchCommand;
    return writeSwitch(command, usblanSwitchBytes(command));
}

void ModeSwitcher::linkFound(int message) {
    state_.phoneConnected = 1;
    if (message >= 0) context_.log.logMessage(message);
}

void ModeSwitcher::attachP2k() {
    Question question;
    {
        PhoneSession session(context_.transport);
        question = attachP2kLocked();
    }
    ask(question);
}

ModeSwitcher::Question ModeSwitcher::attachP2kLocked() {
    UsbDriver& driver = context_.driver;
    auto found = [&] {
        linkFound(msg::kInterfaceFound);
        state_.interfaceUp = true;
        return Question::None;
    };
    discovery_.openTestCommandInterface();
    if (driver.linkHandle() != 0) return found();
    if (discovery_.findModemPort() != 0) {
        discovery_.switchMemcardToP2k();
        discovery_.openTestCommandInterface();
        if (driver.linkHandle() != 0) return found();
        if (state_.modemProbeCount == 0) {
            context_.log.logMessage(msg::kNoInterface);
            state_.modemProbeCount = 1;
        }
        state_.interfaceUp = false;
        return Question::None;
    }
    state_.modemProbeCount = 0;
    if (switchModemToP2k() == 0) waiter_.wait(kP2kSwitchWaitMs);
    discovery_.switchMemcardToP2k();
    discovery_.openTestCommandInterface();
    if (driver.linkHandle() != 0) return found();
    // The modem answered but no P2k interface appeared: perhaps a Linux phone.
    context_.log.logMessage(msg::kNoInterface);
    state_.modemProbeCount = 1;
    state_.interfaceUp = false;
    return Question::LinuxPhone;
}

void ModeSwitcher::attachUsblan() {
    Question question;
    {
        PhoneSession session(context_.transport);
        question = attachUsblanLocked();
    }
    reportFatalError();
    ask(question);
}

ModeSwitcher::Question ModeSwitcher::attachUsblanLocked() {
    UsbDriver& driver = context_.driver;
    if (driver.linkHandle() != 0) {
        linkFound(-1);
        return Question::None;
    }
    usblan_.refreshIpReport();
    if (state_.driveMapped) {
        linkFound(-1);
        return Question::None;
    }
    if (discovery_.findModemPort() == 0) {
        int switched = 0;
        if (state_.modemProbeCount < 2) {
            state_.usblanSwitchSent = true;
            switched = switchModemToUsblan();
        }
        if (switched == 0) waiter_.wait(kUsblanSwitchWaitMs);
        usblan_.refreshIpReport();
        if (driver.linkHandle() == 1) {
            linkFound(-1);
            return Question::None;
        }
        state_.modemProbeCount = 1;
        state_.usblanUp = false;
        return Question::None;
    }
    if (state_.modemProbeCount == 0) context_.log.logMessage(msg::kNoInterface);
    const bool ask = state_.modemProbeCount == kUsblanQuestionPass && state_.usblanSwitchSent;
    ++state_.modemProbeCount;
    return ask ? Question::P2kPhone : Question::None;
}

void ModeSwitcher::reconnect() {
    {
        PhoneSession session(context_.transport);
        EventLog& log = context_.log;
        if (discovery_.findModemPort() == 0) {
            log.logLine("*** MODEM device found, try to switch USBLAN mode.");
            switchModemToUsblan();
            log.logLine("Waiting for USBLAN device...");
            waiter_.wait(kReconnectWaitMs);
            usblan_.bringUpUsblan();
        } else {
            log.logLine("! Sorry, no MODEM device found at all.");
        }
    }
    reportFatalError();
}

void ModeSwitcher::reportFatalError() {
    const std::string error = usblan_.takeFatalError();
    if (error.empty()) return;
    context_.log.logLine(error);
    prompter_.ask({"---- Error ----", error, PromptButtons::Ok, PromptIcon::Error});
    state_.restartRequested = true;  // the program is closing: no further passes
    view_.closeMainWindow();
}

void ModeSwitcher::ask(Question question) {
    if (question == Question::LinuxPhone) askLinuxPhone();
    if (question == Question::P2kPhone) askP2kPhone();
}

void ModeSwitcher::askLinuxPhone() {
    if (state_.restartRequested) return;
    Prompt prompt;
    prompt.title = "Warning !";
    prompt.text =
        "Maybe your option settings is P2k/P2k05 but your phone is Linux based.\r\n"
        "If this is the first run, after p2k drivers installed, simply press no.\r\n"
        "Do you want to change options to P2k over USBLAN mode, and re-start application ?";
    prompt.buttons = PromptButtons::YesNoCancel;
    prompt.icon = PromptIcon::Question;
    const PromptAnswer answer = prompter_.ask(prompt);
    if (answer == PromptAnswer::Yes) {
        context_.runSettings.change([](RunValues& values) {
            values.connectionMode = static_cast<int32_t>(ConnectionMode::P2k05OverUsblan);
            values.forceP2k05 = 1;
        });
        context_.transport.setP2k05Active(true);
    }
    if (answer == PromptAnswer::Yes || answer == PromptAnswer::No) {
        state_.restartRequested = true;
        control_.restartApplication();
    }
}

void ModeSwitcher::askP2kPhone() {
    if (state_.restartRequested) return;
    Prompt prompt;
    prompt.title = "Warning !";
    prompt.text =
        "Maybe your settings is P2k over USBLAN, but your phone is P2k/P2k05.\r\n"
        "Do you want to change options to P2k/P2k05 mode, and re-start application ?";
    prompt.buttons = PromptButtons::YesNo;
    prompt.icon = PromptIcon::Question;
    if (prompter_.ask(prompt) != PromptAnswer::Yes) return;
    context_.runSettings.change([](RunValues& values) {
        values.connectionMode = static_cast<int32_t>(ConnectionMode::P2k);
        values.forceP2k05 = 0;
        values.useFilter = 0;
    });
    context_.transport.setP2k05Active(false);
    state_.restartRequested = true;
    control_.restartApplication();
}

}  // namespace mdk
