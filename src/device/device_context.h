#pragma once
#include <string>

#include "base/clock.h"
#include "base/event_log.h"
#include "base/prompter.h"
#include "config/config_record.h"
#include "config/run_settings.h"
#include "device/link_state.h"
#include "p2k/catalogue.h"
#include "p2k/command_set.h"
#include "p2k/transport.h"
#include "p2k/usb_driver.h"
#include "platform/program_files.h"

namespace mdk {

// The objects the device connection works with, handed over by the application's
// composition root. The connection owns none of them.
struct DeviceContext {
    const ProgramFiles& files;
    // The folder of the executable (the %PROGRAM% of the mount command templates).
    std::string programFolder;
    Clock& clock;
    EventLog& log;
    const ConfigRecord& config;
    RunSettings& runSettings;
    UsbDriver& driver;
    Transport& transport;
    CommandSet& commands;
    Catalogue& catalogue;
    Prompter& prompter;
    LinkState& link;

    // The path of one of the program's files ("IPREPORT", "ACTIP", ...).
    std::string programFile(const std::string& name) const { return files.pathOf(name); }
};

}  // namespace mdk
