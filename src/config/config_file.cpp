#include "config/config_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "base/app_control.h"
#include "base/prompter.h"
#include "platform/safe_file.h"

namespace mdk {

ConfigLoadResult ConfigFile::load(ConfigRecord& record, Prompter& prompter, AppControl& app) {
    struct stat st;
    if (::stat(path_.c_str(), &st) != 0) {
        record = ConfigRecord{};
        app.hideStartupPicture();
        prompter.ask({"Warning", "Config file not found Defaults loaded.", PromptButtons::Ok,
                      PromptIcon::None, true});
        return ConfigLoadResult::Missing;
    }
    // What cannot be read as a file (a folder, a named pipe) is a corrupt one.
    std::string error;
    const std::vector<uint8_t> bytes =
        readFileStart(path_, ConfigRecord::kSize, error).value_or(std::vector<uint8_t>{});

    auto parsed = ConfigRecord::parse(bytes);
    if (parsed && ConfigRecord::imageIsValid(bytes)) {
        record = *parsed;
        return ConfigLoadResult::Loaded;
    }
    record = ConfigRecord{};
    app.hideStartupPicture();
    if (::unlink(path_.c_str()) != 0 && errno != ENOENT) {
        prompter.ask({"Warning !", "Config file corrupted and cannot be deleted Defaults loaded.",
                      PromptButtons::Ok, PromptIcon::Information, true});
        return ConfigLoadResult::CorruptedKept;
    }
    prompter.ask({"Warning !", "Config file corrupted, deleted now Application will restart.",
                  PromptButtons::Ok, PromptIcon::Information, true});
    doNotSave_ = true;
    app.restartApplication();
    return ConfigLoadResult::Corrupted;
}

bool ConfigFile::save(const ConfigRecord& record) {
    if (doNotSave_) return false;
    ConfigRecord stored = record;
    stored.fileCountLimit = -1;
    stored.fadeIn = 0;
    const ConfigRecord::Image image = stored.serialize();

    std::string error;
    return writeFileSafely(path_, image, ExistingFile::Replace, error);
}

}  // namespace mdk
