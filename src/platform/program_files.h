#pragma once
#include <functional>
#include <optional>
#include <string>

namespace mdk {

// Where each file the program reads or writes lives.
//
// Portable run: the program's folder holds "Messages.lng" beside the executable (a build
// tree, or a copied folder). Every file lives in that folder, as it always did.
//
// Installed run (e.g. /usr/bin/marrowdeck): the read-only data comes from
// <prefix>/share/marrowdeck, and what the program writes goes to the user's XDG folders:
// settings to $XDG_CONFIG_HOME/marrowdeck, the log and the raw file list to
// $XDG_STATE_HOME/marrowdeck, scratch files to $XDG_CACHE_HOME/marrowdeck. Nothing is
// ever written below the prefix.
class ProgramFiles {
public:
    // Looks up an environment variable; empty or missing gives nullopt.
    using Environment = std::function<std::optional<std::string>(const std::string&)>;

    // Decides the layout for a program whose executable lives in programFolder.
    static ProgramFiles locate(const std::string& programFolder, const Environment& env);
    // The same, with the process environment.
    static ProgramFiles locate(const std::string& programFolder);
    // Every file in one folder (tests, and the portable run).
    static ProgramFiles portableIn(const std::string& folder);

    bool portable() const { return portable_; }
    // The folder of the executable; outside programs shipped beside it are looked up here.
    const std::string& programFolder() const { return programFolder_; }
    const std::string& dataFolder() const { return dataFolder_; }
    const std::string& configFolder() const { return configFolder_; }
    const std::string& stateFolder() const { return stateFolder_; }
    const std::string& cacheFolder() const { return cacheFolder_; }

    // The path a file of this name is read from. "Seem.lst" is read from the settings
    // folder once the program has rewritten it there, else from the data folder.
    std::string pathOf(const std::string& name) const;
    // The folder pathOf(name) lies in.
    std::string readFolderOf(const std::string& name) const;
    // The path a file of this name is written to (its folder is created on demand by the
    // caller's safe writer).
    std::string writablePathOf(const std::string& name) const;
    // Creates the settings, state and cache folders of an installed run (a portable run
    // has its folder already). False with error set when one cannot be made.
    bool createUserFolders(std::string& error) const;
    // The folder a name of this kind belongs to (for names not in the table: the cache).
    std::string folderOf(const std::string& name) const;

private:
    bool portable_ = true;
    std::string programFolder_, dataFolder_, configFolder_, stateFolder_, cacheFolder_;
};

}  // namespace mdk
