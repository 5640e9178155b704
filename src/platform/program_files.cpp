#include "platform/program_files.h"

#include <cstdlib>
#include <filesystem>
#include <string_view>

namespace mdk {
namespace {

enum class Place { Data, Config, State, Cache, Program };

struct FilePlace {
    std::string_view name;
    Place place;
};

// Which folder each file of the program belongs to in an installed run.
constexpr FilePlace kPlaces[] = {
    {"Messages.lng", Place::Data},
    {"SeemCategories.lst", Place::Data},
    {"SeemFunctionsP2k.csv", Place::Data},
    {"SeemFunctionsP2k05.csv", Place::Data},
    {"Hidden_files.lst", Place::Data},
    {"Templates", Place::Data},
    {"Seem.lst", Place::Data},  // read; a rewritten list goes to the settings folder
    {".config", Place::Config},
    {".linux-settings", Place::Config},
    {"FtpDrive", Place::Config},
    {".log", Place::State},
    {"Received_filelist.raw", Place::State},
    {"Temp", Place::Cache},
    {"SOURCEFILES", Place::Cache},
    {"IPREPORT", Place::Cache},
    {"ACTIP", Place::Cache},
    {"xvi32", Place::Program},
    {"lister", Place::Program},
};

// The first component of a relative name such as "Templates/_.jpg".
std::string_view head(std::string_view name) {
    return name.substr(0, name.find('/'));
}

Place placeOf(std::string_view name) {
    for (const auto& entry : kPlaces) {
        if (entry.name == head(name)) return entry.place;
    }
    return Place::Cache;
}

std::string xdgFolder(const ProgramFiles::Environment& env, const std::string& variable,
                      const std::string& homeRelative) {
    if (auto value = env(variable); value && !value->empty() && value->front() == '/') {
        return *value + "/marrowdeck";
    }
    const std::string home = env("HOME").value_or("/tmp");
    return home + "/" + homeRelative + "/marrowdeck";
}

}  // namespace

ProgramFiles ProgramFiles::portableIn(const std::string& folder) {
    ProgramFiles files;
    files.portable_ = true;
    files.programFolder_ = files.dataFolder_ = files.configFolder_ = files.stateFolder_ =
        files.cacheFolder_ = folder;
    return files;
}

ProgramFiles ProgramFiles::locate(const std::string& programFolder, const Environment& env) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::exists(fs::path(programFolder) / "Messages.lng", ec)) return portableIn(programFolder);
    ProgramFiles files;
    files.portable_ = false;
    files.programFolder_ = programFolder;
    files.dataFolder_ = (fs::path(programFolder).parent_path() / "share" / "marrowdeck")
                            .lexically_normal()
                            .string();
    files.configFolder_ = xdgFolder(env, "XDG_CONFIG_HOME", ".config");
    files.stateFolder_ = xdgFolder(env, "XDG_STATE_HOME", ".local/state");
    files.cacheFolder_ = xdgFolder(env, "XDG_CACHE_HOME", ".cache");
    return files;
}

ProgramFiles ProgramFiles::locate(const std::string& programFolder) {
    return locate(programFolder, [](const std::string& name) -> std::optional<std::string> {
        const char* value = std::getenv(name.c_str());
        if (!value || !*value) return std::nullopt;
        return std::string(value);
    });
}

std::string ProgramFiles::folderOf(const std::string& name) const {
    switch (placeOf(name)) {
        case Place::Data:
            return dataFolder_;
        case Place::Config:
            return configFolder_;
        case Place::State:
            return stateFolder_;
        case Place::Program:
            return programFolder_;
        case Place::Cache:
            break;
    }
    return cacheFolder_;
}

std::string ProgramFiles::pathOf(const std::string& name) const {
    if (!portable_ && head(name) == "Seem.lst") {
        std::error_code ec;
        const std::string rewritten = configFolder_ + "/" + name;
        if (std::filesystem::exists(rewritten, ec)) return rewritten;
    }
    return folderOf(name) + "/" + name;
}

bool ProgramFiles::createUserFolders(std::string& error) const {
    if (portable_) return true;
    for (const auto* folder : {&configFolder_, &stateFolder_, &cacheFolder_}) {
        std::error_code ec;
        std::filesystem::create_directories(*folder, ec);
        if (ec) {
            error = *folder + ": " + ec.message();
            return false;
        }
    }
    return true;
}

std::string ProgramFiles::readFolderOf(const std::string& name) const {
    return std::filesystem::path(pathOf(name)).parent_path().string();
}

std::string ProgramFiles::writablePathOf(const std::string& name) const {
    if (!portable_ && placeOf(name) == Place::Data) return configFolder_ + "/" + name;
    return folderOf(name) + "/" + name;
}

}  // namespace mdk
