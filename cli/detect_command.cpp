#include "cli/detect_command.h"

#include <cstdio>
#include <cstdlib>

#include "cli/session.h"
#include "device/detect.h"
#include "platform/safe_file.h"

namespace mdk::cli {
namespace {

struct DetectOptions {
    std::string reportFile;
    bool json = false;
    bool switchModes = false;
};

DetectOptions parseOptions(const std::vector<std::string>& args) {
    DetectOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--json") {
            options.json = true;
        } else if (arg == "--switch") {
            options.switchModes = true;
        } else if (arg == "--report") {
            if (i + 1 >= args.size()) throw UsageError{"missing value for --report"};
            options.reportFile = args[++i];
        } else if (arg.rfind("--report=", 0) == 0) {
            options.reportFile = arg.substr(9);
        } else {
            throw UsageError{"unknown argument for detect: " + arg};
        }
    }
    return options;
}

bool anyInMode(const DetectReport& report, PhoneMode mode) {
    for (const auto& device : report.devices) {
        if (device.mode == mode) return true;
    }
    return false;
}

bool usableTestCommand(const DetectReport& report) {
    for (const auto& device : report.devices) {
        if (device.mode == PhoneMode::P2k && device.usable) return true;
    }
    return false;
}

// The probe of the phone at address ("auto" is the USB phone), through the link --switch
// opened or one opened now.
void probe(Session& session, std::string address, DetectReport& report, bool linkOpen) {
    if (address == "auto") address = "usb";
    ProbeReport& probe = report.probe;
    probe.address = address;
    if (!linkOpen) {
        if (address.rfind("usblan:", 0) == 0) {
            probe.note = "a USBLAN connection starts the phone's session; use \"info --phone " +
                         address + "\" for that";
            return;
        }
        if (address == "usb" && !anyInMode(report, PhoneMode::P2k)) {
            probe.note = "no Test Command interface present";
            return;
        }
        if (address == "usb" && !usableTestCommand(report)) {
            probe.note = "no Test Command interface that this user can open";
            return;
        }
        if (!checkPhoneLock(address, report)) return;
        try {
            session.connect(address);
        } catch (const CommandError& e) {
            probe.attempted = true;
            probe.note = e.message;
            return;
        }
    }
    AppContext& context = session.context();
    probe = probePhone(context.driver, context.transport, context.commands);
    probe.address = address;
}

// --switch: one attach pass, which switches a modem or memory-card phone into P2k mode
// and opens its interface. True when the interface is open.
bool switchModes(Session& session, DetectReport& report) {
    if (!anyInMode(report, PhoneMode::Modem) && !anyInMode(report, PhoneMode::MemoryCard)) {
        report.switchResult = "nothing to switch";
        return false;
    }
    try {
        session.connect("auto");
        report.switchResult = "switched; the Test Command interface is open";
        return true;
    } catch (const CommandError& e) {
        report.switchResult = "failed: " + e.message;
        return false;
    }
}

}  // namespace

void runDetect(Session& session, const std::vector<std::string>& args) {
    const DetectOptions options = parseOptions(args);
    const std::string address = session.address();  // --switch connects to auto
    const char* rootVariable = std::getenv("MARROWDECK_DETECT_ROOT");
    const UsbSysfs sysfs(rootVariable && *rootVariable ? rootVariable : "/");
    const AddressLookup addresses = systemAddresses();
    DetectReport report = startDetect(sysfs, addresses);
    bool linkOpen = false;
    if (options.switchModes) {
        linkOpen = switchModes(session, report);
        if (linkOpen) gatherDetect(sysfs, addresses, report);  // the phone came back
    }
    probe(session, address, report, linkOpen);
    concludeDetect(report);
    const std::string text = detectText(report);
    std::fputs(options.json ? detectJson(report).c_str() : text.c_str(), stdout);
    std::fflush(stdout);
    if (!options.reportFile.empty()) {
        std::string error;
        if (!writeFileSafely(options.reportFile,
                             {reinterpret_cast<const uint8_t*>(text.data()), text.size()},
                             ExistingFile::Replace, error)) {
            throw CommandError{"cannot write the report: " + error};
        }
        std::fprintf(stderr, "report written to %s\n", options.reportFile.c_str());
    }
    if (!report.probe.reached) session.setExitCode(1);  // the state line says why
}

}  // namespace mdk::cli
