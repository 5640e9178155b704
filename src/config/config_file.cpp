#include "config/config_file.h"

#include <fcntl.h>
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
    std::ifstream in(path_, std::ios::binary);
    if (!in) {
        record = ConfigRecord{};
        app.hideStartupPicture();
        prompter.ask({"Warning", "Config file not found Defaults loaded.", PromptButtons::Ok,
                      PromptIcon::None, true});
        return ConfigLoadResult::Missing;
    }
    std::vector<uint8_t> bytes(ConfigRecord::kSize);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    in.close();

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
