#pragma once
#include <string>
#include <vector>

namespace mdk {

// What the device connection does to the main window. Called from the watcher thread as
// well as from the GUI thread: the GUI implementation posts each call to its own thread
// and never blocks on it. The CLI and the tests implement it too.
class DeviceView {
public:
    virtual ~DeviceView() = default;
    // Status-bar part 0..3.
    virtual void setStatusText(int part, const std::string& text) = 0;
    // The P2k interface came up: entry 4 of both location lists (the phone's seems) gets
    // the program's icon and the "SeemFunc" button is enabled.
    virtual void phoneInterfaceUp() = 0;
    // The P2k interface went away: both location lists get their start-up entries 0..4
    // again and the "SeemFunc" button is disabled.
    virtual void phoneInterfaceDown() = 0;
    // The phone's files were mounted (modes 1 and 2): both location lists drop their
    // entries from index 5 on and list the drives and mount points anew, so that
    // mountPoint shows up.
    virtual void refreshDriveEntries(const std::string& mountPoint) = 0;
    // Mode 3: the first five entries of both location lists become these texts, each with
    // the program's icon.
    virtual void showPhoneVolumes(const std::vector<std::string>& entries) = 0;
    // Mode 3: entry 0 of both location lists is replaced by this text (program's icon).
    virtual void replaceFirstLocation(const std::string& text) = 0;
    // The progress bar back to 0.
    virtual void resetProgress() = 0;
    // Closes the main window after a fatal error (the close actions of the mode run).
    virtual void closeMainWindow() = 0;
};

// A view that shows nothing: for the command-line tool, which reports through the log.
class SilentDeviceView final : public DeviceView {
public:
    void setStatusText(int, const std::string&) override {}
    void phoneInterfaceUp() override {}
    void phoneInterfaceDown() override {}
    void refreshDriveEntries(const std::string&) override {}
    void showPhoneVolumes(const std::vector<std::string>&) override {}
    void replaceFirstLocation(const std::string&) override {}
    void resetProgress() override {}
    void closeMainWindow() override {}
};

}  // namespace mdk
