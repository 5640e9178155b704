#include "batch/package_file.h"

#include <algorithm>
#include <array>
#include <filesystem>

#include "platform/safe_file.h"

namespace mdk {
namespace {
constexpr std::array<std::string_view, 13> kCommandCodes = {
    "cp", "to", "md", "rd", "rm", "at", "sa", "##", "ss", "rs", "ts", "ds", "df",
};
// The commands whose argument is a path: a backslash written on Windows becomes "/".
constexpr std::array<std::string_view, 7> kPathCodes = {"cp", "to", "df", "md", "rd", "rm", "sa"};
}  // namespace

std::vector<std::string> splitPackageLines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        const size_t cr = text.find('\r', start);
        if (cr == std::string_view::npos) break;
        if (cr == start) break;  // the first empty line ends the package
        lines.emplace_back(text.substr(start, cr - start));
        start = cr + 2;  // the byte after the CR (the LF) is dropped
        if (start >= text.size()) break;
    }
    return lines;
}

std::optional<std::vector<std::string>> readPackageFile(const std::string& path) {
    std::string error;
    auto bytes = readWholeFile(path, error);
    if (!bytes) return std::nullopt;
    return splitPackageLines(
        std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}

std::optional<PackageCommand> parsePackageCommand(std::string_view line) {
    if (line.size() < 3 || line[2] != ' ') return std::nullopt;
    const std::string_view code = line.substr(0, 2);
    if (std::find(kCommandCodes.begin(), kCommandCodes.end(), code) == kCommandCodes.end()) {
        return std::nullopt;
    }
    PackageCommand command{std::string(code), std::string(line.substr(3))};
    if (std::find(kPathCodes.begin(), kPathCodes.end(), code) != kPathCodes.end()) {
        std::replace(command.argument.begin(), command.argument.end(), '\\', '/');
    }
    return command;
}

std::string packageFolder(const std::string& packagePath) {
    std::string path = packagePath;
    std::replace(path.begin(), path.end(), '\\', '/');
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        std::error_code ec;
        const auto current = std::filesystem::current_path(ec);
        return ec ? std::string(".") : current.string();
    }
    if (slash == 0) return "/";
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(path.substr(0, slash), ec);
    return ec ? path.substr(0, slash) : absolute.lexically_normal().string();
}

std::vector<std::string> packageListHeader(const std::string& packagePath, bool waitingForUsblan) {
    std::vector<std::string> lines{packagePath, kPackageSeparator};
    if (waitingForUsblan) {
        lines.emplace_back(kUsblanWaitHint);
        lines.emplace_back(kPackageSeparator);
    }
    return lines;
}

}  // namespace mdk
