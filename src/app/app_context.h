#pragma once
#include <string>

#include "base/clock.h"
#include "base/event_log.h"
#include "base/messages.h"
#include "base/prompter.h"
#include "config/config_record.h"
#include "config/run_settings.h"
#include "device/device_context.h"
#include "device/link_state.h"
#include "p2k/catalogue.h"
#include "p2k/command_set.h"
#include "p2k/transport.h"
#include "p2k/usb_driver.h"
#include "p2k/usb_tester.h"
#include "panes/pane_set.h"
#include "platform/program_files.h"
#include "seem/seem_lists.h"

namespace mdk {

// Owns the state of every subsystem for one run of the program (or one test): the
// message table, the event log, the configuration record, the USB driver requests and the
// transport. Objects receive the parts they use by reference.
class AppContext {
public:
    // Every file in programFolder (tests).
    AppContext(const std::string& programFolder, Clock& clock)
        : AppContext(ProgramFiles::portableIn(programFolder), clock) {}
    // The programs: where each file lives was decided by ProgramFiles::locate.
    AppContext(ProgramFiles files, Clock& clock)
        : files(std::move(files)), programFolder(this->files.programFolder()), clock(clock) {}
    AppContext(const AppContext&) = delete;
    AppContext& operator=(const AppContext&) = delete;

    // Where each file the program reads or writes lives.
    ProgramFiles files;
    // The folder of the executable.
    std::string programFolder;
    Clock& clock;
    MessageTable messages;
    EventLog log{messages};
    // The saved settings: loaded at start, changed by the options, saved at exit.
    ConfigRecord config;
    // The settings that threads change and read while the program runs.
    RunSettings runSettings;
    UsbDriver driver{log};
    Transport transport{driver, log, clock};
    LinkState link;
    // Every box of the core goes here; the front end points it at its own prompter.
    ForwardingPrompter prompter;
    CommandSet commands{transport, log, runSettings, clock};
    Catalogue catalogue{commands, log, config, runSettings, clock, prompter, files};
    // Location lists, folders, focus and sort modes of both panes.
    PaneSet panes;
    // "Seem.lst" and "SeemCategories.lst", shown by the seem folder of a phone pane.
    SeemLists seemLists;
    // The USB I/O command tester's payload and payload flag, kept while the program runs.
    UsbTesterState usbTester;
    // What the device connection works with.
    DeviceContext device{files,  programFolder, clock,    log,       config,   runSettings,
                         driver, transport,     commands, catalogue, prompter, link};

    // The path of one of the program's files ("Temp", ".config", "SOURCEFILES", ...).
    std::string programFile(const std::string& name) const { return files.pathOf(name); }
};

}  // namespace mdk
