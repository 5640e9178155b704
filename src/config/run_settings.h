#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <type_traits>
#include <utility>

#include "config/config_record.h"

namespace mdk {

// The run-time fields, as one value: a snapshot read under the lock or the copy an edit
// changes under the lock.
struct RunValues {
    int32_t connectionMode = 0;
    int32_t forceP2k05 = 0;
    int32_t useFilter = 0;
    std::string searchPattern;
    int32_t fileCountLimit = -1;  // files a catalogue load keeps at most; negative: no limit

    ConnectionMode mode() const { return static_cast<ConnectionMode>(connectionMode); }
    bool usblanP2k05() const { return mode() == ConnectionMode::P2k05OverUsblan; }
    bool operator==(const RunValues&) const = default;
};

// The settings that change while the program runs, apart from the saved record. The
// record (ConfigRecord) holds what was loaded and what the options chose; these values
// start from it and are then changed by the phone pane (the search pattern of the chosen
// volume), the USBLAN link and the attach routine (search filter, P2k05 framing), the mode
// switch (the connection mode for the restart) and packages (the file-count limit of one
// run). The GUI thread, the link watcher and the workers read them, so every access takes
// the lock: read() copies all fields at once, change() runs an edit on them as one step.
// The values changed here go back into the record just before it is saved.
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

    // All run-time fields as of one moment.
    RunValues read() const;

    // Calls edit(RunValues&) on the fields under the lock and returns what it returns (by
    // value). Other threads see the fields before or after the whole edit, never between.
    // Fields whose value differs afterwards count as changed at run time (writeInto); an
    // edit that throws changes nothing.
    template <class Edit>
    auto change(Edit&& edit) {
        std::lock_guard lock(mutex_);
        RunValues next = values_;
        if constexpr (std::is_void_v<std::invoke_result_t<Edit&, RunValues&>>) {
            edit(next);
            commit(std::move(next));
        } else {
            auto result = edit(next);
            commit(std::move(next));
            return result;
        }
    }

private:
    enum Field : unsigned {
        kMode = 1u << 0,
        kForceP2k05 = 1u << 1,
        kUseFilter = 1u << 2,
        kSearchPattern = 1u << 3,
        kFileCountLimit = 1u << 4,
    };

    // Marks the fields of next that differ from values_ and takes them (lock held).
    void commit(RunValues next);

    mutable std::mutex mutex_;
    RunValues values_;
    OptionTexts optionTexts_;
    unsigned changed_ = 0;  // Field bits set since the last takeFrom
};

// Edits for RunSettings::change that read and write in one step.

// Puts the volume letter into the pattern ("/a/*.*" becomes "/c/*.*"); a pattern of
// fewer than two characters becomes "/a/*.*" first.
struct PutPatternVolume {
    char letter;
    void operator()(RunValues& values) const;
};

// Switches the filter on with pattern unless it is on already; returns the search
// pattern in force afterwards.
struct SwitchFilterOn {
    std::string pattern;
    std::string operator()(RunValues& values) const;
};

// One more file allowed (a file added to the catalogue), unless there is no limit.
struct AllowOneMoreFile {
    void operator()(RunValues& values) const;
};

}  // namespace mdk
