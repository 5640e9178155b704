#include "platform/xdg_files.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>

#include "platform/safe_file.h"

namespace mdk {

namespace {

bool isAbsolute(const char* path) {
    return path != nullptr && path[0] == '/';
}

std::string folderOr(const std::function<const char*(const char*)>& getenv, const char* name,
                     const std::string& home, const char* underHome) {
    const char* value = getenv(name);
    if (isAbsolute(value)) return value;
    return home.empty() ? std::string() : home + underHome;
}

std::vector<std::string> splitFolders(const char* text) {
    std::vector<std::string> folders;
    std::string current;
    for (const char* at = text;; ++at) {
        if (*at == ':' || *at == '\0') {
            if (!current.empty() && current[0] == '/') folders.push_back(current);
            current.clear();
            if (*at == '\0') break;
        } else {
            current.push_back(*at);
        }
    }
    return folders;
}

}  // namespace

XdgFolders XdgFolders::fromEnvironment(const std::function<const char*(const char*)>& getenv) {
    XdgFolders folders;
    const char* homeValue = getenv("HOME");
    const std::string home = isAbsolute(homeValue) ? homeValue : "";
    folders.dataHome = folderOr(getenv, "XDG_DATA_HOME", home, "/.local/share");
    folders.configHome = folderOr(getenv, "XDG_CONFIG_HOME", home, "/.config");
    const char* dirs = getenv("XDG_DATA_DIRS");
    folders.dataDirs = splitFolders(dirs && *dirs ? dirs : "/usr/local/share:/usr/share");
    return folders;
}

std::string desktopExecArgument(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return {};
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted.push_back('\\');
        if (c == '%') quoted.push_back('%');
        quoted.push_back(c);
    }
    quoted.push_back('"');
    // The value is a desktop-entry string as well: each backslash is written twice.
    std::string escaped;
    for (char c : quoted) {
        if (c == '\\') escaped.push_back('\\');
        escaped.push_back(c);
    }
    return escaped;
}

std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted.push_back(c);
        }
    }
    return quoted + "'";
}

std::string readText(const std::string& path) {
    return readTextFile(path).value_or("");
}

bool writeTextIfChanged(const std::string& path, const std::string& text) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec) && readText(path) == text) return false;
    std::string error;
    const std::string folder = std::filesystem::path(path).parent_path().string();
    if (!makeFolders(folder, error)) return false;
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    return writeFileSafely(path, std::span<const uint8_t>(bytes, text.size()),
                           ExistingFile::Replace, error);
}

}  // namespace mdk
