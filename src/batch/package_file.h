#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mdk {

// A batch package: 8-bit text whose lines end with CR LF. Each CR ends a line and the
// byte after it is dropped; the first empty line ends the package; text after the last CR
// is not a line (a file without any CR has none). Lines are kept as they are.
std::vector<std::string> splitPackageLines(std::string_view text);

// Reads a package file; nullopt when it cannot be read (a missing package has no lines).
std::optional<std::vector<std::string>> readPackageFile(const std::string& path);

// One command line of a package: two case-sensitive command characters, a blank, then the
// argument (the rest of the line). Packages made on Windows write "\" in names: the path
// argument of cp, to, df, md, rd, rm and sa has every "\" turned into "/"; the other
// arguments (above all the shell command of "##") are kept as written.
struct PackageCommand {
    std::string code;
    std::string argument;
};

// The command of a line, or nullopt for every line that is not one (skipped silently).
std::optional<PackageCommand> parsePackageCommand(std::string_view line);

// The folder of the package: the path up to its last "/" ("\" counted as "/"), or the
// current directory for a bare name.
std::string packageFolder(const std::string& packagePath);

// The first lines of the batch dialog's list before the package's own lines: the package
// path and a separator, and, while the link of the "P2k05 over USBLAN" mode is not up yet,
// the wait hint and another separator.
std::vector<std::string> packageListHeader(const std::string& packagePath, bool waitingForUsblan);

inline constexpr const char* kPackageSeparator = "----------------------";
inline constexpr const char* kUsblanWaitHint =
    "Please wait until connection established.(Phone beeps.)";
// Execution starts at this line of the dialog's list: the path and the first separator
// are skipped; the wait lines are not commands.
inline constexpr size_t kFirstPackageListLine = 2;

}  // namespace mdk
