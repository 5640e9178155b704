#include "seem/seem_discovery.h"

#include <cstdio>

#include "base/event_log.h"
#include "p2k/command_set.h"
#include "p2k/transport.h"
#include "p2k/usb_driver.h"
#include "platform/safe_file.h"

namespace mdk {
namespace {

// Lowers the classic send time-out for a scope and puts the old value back.
class ScanTimeout {
public:
    explicit ScanTimeout(UsbDriver& driver) : driver_(driver), was_(driver.classicSendTimeoutMs()) {
        driver_.setClassicSendTimeoutMs(kScanSendTimeoutMs);
    }
    ~ScanTimeout() { driver_.setClassicSendTimeoutMs(was_); }
    ScanTimeout(const ScanTimeout&) = delete;
    ScanTimeout& operator=(const ScanTimeout&) = delete;

private:
    UsbDriver& driver_;
    uint32_t was_;
};

bool seemAnswers(CommandSet& commands, uint16_t seem) {
    QuietLog quiet(commands.log());
    const uint16_t count = seem < kFirstProbedSeem ? 0 : 1;
    std::vector<uint8_t> reply;
    return commands.phoneReadSeem(seem, 1, 0, count, reply) == 0;
}

}  // namespace

std::string seemListEntry(uint16_t seem) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", unsigned(seem));
    return text;
}

std::vector<uint16_t> discoverSeems(CommandSet& commands, UsbDriver& driver,
                                    ProgressSink* progress) {
    std::vector<uint16_t> found;
    PhoneSession session(commands.transport());
    ScanTimeout timeout(driver);
    if (progress) {
        progress->setRange(0, kLastScannedSeem + 1);
        progress->setPosition(0);
    }
    for (uint16_t seem = 0; seem <= kLastScannedSeem; ++seem) {
        if (seemAnswers(commands, seem)) {
            found.push_back(seem);
            commands.log().logLine(seemListEntry(seem));
        }
        if (progress) progress->step();
    }
    return found;
}

std::string seemListText(const std::vector<uint16_t>& seems) {
    std::string text;
    for (uint16_t seem : seems) text += seemListEntry(seem) + "\r\n";
    return text;
}

bool writeSeemList(const std::string& path, const std::vector<uint16_t>& seems,
                   std::string& error) {
    if (seems.empty()) {
        error = "No seem answered: the seem list is kept as it was.";
        return false;
    }
    const std::string text = seemListText(seems);
    const std::vector<uint8_t> bytes(text.begin(), text.end());
    return writeFileSafely(path, bytes, ExistingFile::Replace, error);
}

}  // namespace mdk
