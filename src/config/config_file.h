#pragma once
#include <string>

#include "config/config_record.h"

namespace mdk {

class Prompter;
class AppControl;

enum class ConfigLoadResult {
    Loaded,     // the file was read and is valid
    Missing,    // no file: defaults, the program goes on
    Corrupted,  // short or invalid: defaults, file deleted, restart requested, start-up stops
    // Short or invalid but it could not be deleted (read-only folder, a folder of that
    // name): a restart would find it again and restart for ever, so the program goes on
    // with the defaults, and the save at exit replaces the file where it can.
    CorruptedKept,
};

// The ".config" file in the program folder.
class ConfigFile {
public:
    explicit ConfigFile(std::string path) : path_(std::move(path)) {}

    // Loads the record; on any failure the record holds the built-in defaults.
    ConfigLoadResult load(ConfigRecord& record, Prompter& prompter, AppControl& app);
    // Writes the record through a temporary file renamed over the old one, so a failed
    // write keeps the previous settings. Does nothing after a corrupted load. The file-count
    // limit and fade-in words are always stored as -1 and 0: run-time changes to them (a
    // package's temporary limit) must never make the next start reject the file.
    bool save(const ConfigRecord& record);

    bool doNotSave() const { return doNotSave_; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    bool doNotSave_ = false;
};

}  // namespace mdk
