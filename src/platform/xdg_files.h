#pragma once
#include <functional>
#include <string>
#include <vector>

namespace mdk {

// The XDG base folders of the user, as the desktop reads them.
struct XdgFolders {
    std::string dataHome;               // $XDG_DATA_HOME, else ~/.local/share
    std::string configHome;             // $XDG_CONFIG_HOME, else ~/.config
    std::vector<std::string> dataDirs;  // $XDG_DATA_DIRS, else /usr/local/share:/usr/share

    // From the environment through getenv; relative values are ignored, as the XDG base
    // directory rules ask. A folder that cannot be found stays empty.
    static XdgFolders fromEnvironment(const std::function<const char*(const char*)>& getenv);
};

// One argument of a desktop entry's Exec key: quoted, with the characters the entry
// format reserves escaped, then escaped once more as a desktop-entry string. Empty when
// the text holds a character no entry may carry (a control character).
std::string desktopExecArgument(const std::string& text);

// The text in single quotes for /bin/sh.
std::string shellQuoted(const std::string& text);

// Writes text to path (folders made as needed) unless the file already holds exactly
// that text. Returns true when the file was written; false when it was unchanged or
// could not be written.
bool writeTextIfChanged(const std::string& path, const std::string& text);

// The whole text of a file, empty when it cannot be read.
std::string readText(const std::string& path);

}  // namespace mdk
