#pragma once
#include <cstdint>
#include <mutex>
#include <string>

#include "config/config_record.h"

namespace mdk {

// The settings that change while the program runs, apart from the saved record. The
// record (ConfigRecord) holds what was loaded and what the options chose; these values
// start from it and are then changed by the phone pane (the search pattern of the chosen
// volume), the USBLAN link and the attach routine (search filter, P2k05 framing), the mode
// switch (the connection mode for the restart) and packages (the file-count limit of one
// run). The GUI thread, the link watcher and the workers read them, so every access takes
// the lock. The values changed here go back into the record just before it is saved.
// It also holds copies of the options' texts that the link watcher and the attach routine
// read, so that the options dialog can change the record's strings meanwhile.
class RunSettings {
public:
    RunSettings();
    RunSettings(const RunSettings&) = delete;
    RunSettings& operator=(const RunSettings&) = delete;

    // Takes the run-time fields from a record just loaded or just changed by the options.
    void takeFrom(const ConfigRecord& record);
    // Writes the fields changed since the last takeFrom into record (before it is saved);
    // fields not changed at run time keep the record's value.
    void writeInto(ConfigRecord& record) const;

    // The record's texts as of the last takeFrom (they are never changed at run time).
    struct OptionTexts {
        std::string comPort;
        std::string fourthSlotVolume;
        std::string usblanSwitchCommand;
        std::string usblanIp;
    };
    OptionTexts optionTexts() const;

    int32_t connectionMode() const;
    ConnectionMode mode() const { return static_cast<ConnectionMode>(connectionMode()); }
    bool usblanP2k05() const { return mode() == ConnectionMode::P2k05OverUsblan; }
    void setConnectionMode(ConnectionMode mode);

    int32_t forceP2k05() const;
    void setForceP2k05(int32_t value);

    int32_t useFilter() const;
    void setUseFilter(int32_t value);

    std::string searchPattern() const;
    void setSearchPattern(std::string pattern);
    // Puts the volume letter into the pattern ("/a/*.*" becomes "/c/*.*"); a pattern of
    // fewer than two characters becomes "/a/*.*" first.
    void setPatternVolume(char letter);
    // Switches the filter on with pattern unless it is on already (one step under the
    // lock); returns the search pattern in force afterwards.
    std::string enableFilter(const std::string& pattern);

    // Files a catalogue load keeps at most; negative: no limit.
    int32_t fileCountLimit() const;
    void setFileCountLimit(int32_t limit);
    // One more file allowed (a file added to the catalogue), unless there is no limit.
    void raiseFileCountLimit();

private:
    enum Field : unsigned {
        kMode = 1u << 0,
        kForceP2k05 = 1u << 1,
        kUseFilter = 1u << 2,
        kSearchPattern = 1u << 3,
        kFileCountLimit = 1u << 4,
    };

    mutable std::mutex mutex_;
    int32_t connectionMode_ = 0;
    int32_t forceP2k05_ = 0;
    int32_t useFilter_ = 0;
    std::string searchPattern_;
    int32_t fileCountLimit_ = -1;
    OptionTexts optionTexts_;
    unsigned changed_ = 0;  // Field bits set since the last takeFrom
};

}  // namespace mdk
