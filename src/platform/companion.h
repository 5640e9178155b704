#pragma once
#include <string>

#include "platform/xdg_files.h"

namespace mdk {

class Clock;
class CommandRunner;

// The companion program Tidewatch: started with the desktop session through an XDG
// autostart entry, and told to stop by the named semaphore "KillTdwa".
class CompanionControl {
public:
    virtual ~CompanionControl() = default;
    // Writes the autostart entry for programFolder/Tidewatch and starts it at once.
    virtual void enableAutostart(const std::string& programFolder) = 0;
    // Removes the autostart entry and signals a running companion to stop.
    virtual void disableAutostart() = 0;
};

class XdgCompanion final : public CompanionControl {
public:
    static constexpr const char* kEntryName = "Tidewatch.desktop";
    static constexpr const char* kProgramName = "Tidewatch";
    static constexpr const char* kStopSemaphore = "/KillTdwa";
    static constexpr unsigned kStopSignalMs = 300;

    // stopSemaphore: the semaphore's name (tests use their own).
    XdgCompanion(XdgFolders folders, CommandRunner& runner, Clock& clock,
                 std::string stopSemaphore = kStopSemaphore)
        : folders_(std::move(folders)),
          runner_(runner),
          clock_(clock),
          stopSemaphore_(std::move(stopSemaphore)) {}

    void enableAutostart(const std::string& programFolder) override;
    void disableAutostart() override;

    std::string entryPath() const;
    static std::string entryText(const std::string& programPath);

private:
    XdgFolders folders_;
    CommandRunner& runner_;
    Clock& clock_;
    std::string stopSemaphore_;
};

}  // namespace mdk
