#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mdk {

// The outside programs a user opens files with: a hexadecimal editor for seem records, a
// viewer and a text editor. Each is looked up the same way: a program of that role in the
// program folder first, then a configured command, then a usual Linux program.
struct OutsidePrograms {
    // "xvi32" in the program folder, then configured, then ghex, okteta, bless or wxHexEditor
    // on the PATH. Empty when none exists.
    static std::string hexEditor(const std::string& programFolder, const std::string& configured);
    // The programs a file is viewed with, in the order they are tried: the desktop's
    // default application (xdg-open), "lister" in the program folder, then the configured
    // text editor. Only those that exist are listed.
    static std::vector<std::string> viewers(const std::string& programFolder,
                                            const std::string& configuredTextEditor);
    // The configured text editor, then xdg-open.
    static std::string textEditor(const std::string& configured);
};

// Finds an executable by name on the PATH (or the name itself when it holds a "/").
std::optional<std::string> findExecutable(const std::string& name);

// Runs program (a command line, split on blanks) with file as its last argument, and waits
// for it to end. The exit status, or -1 when it could not be started.
int runAndWait(const std::string& program, const std::string& file);

// Starts program with file and does not wait (the viewers). False when it cannot start.
bool startDetached(const std::string& program, const std::string& file);

// Starts the first of programs that can be started with file. False when none could.
bool startFirstOf(const std::vector<std::string>& programs, const std::string& file);

// What a file looked like, to tell whether an editor changed it.
struct FileStamp {
    int64_t modifiedNs = -1;
    int64_t size = -1;
    bool operator==(const FileStamp&) const = default;
};
FileStamp stampOf(const std::string& path);

}  // namespace mdk
