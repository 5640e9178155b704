#include "config/linux_settings.h"

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <utility>

#include "platform/safe_file.h"
#include "platform/xdg_files.h"

namespace mdk {
namespace {

struct Key {
    const char* name;
    const char* environment;
};

constexpr Key kKeys[] = {
    {"shareMountCommand", "MARROWDECK_SHARE_MOUNT"},
    {"shareUnmountCommand", "MARROWDECK_SHARE_UNMOUNT"},
    {"shareMountPoint", "MARROWDECK_SHARE_MOUNT_POINT"},
    {"ftpMountCommand", "MARROWDECK_FTP_MOUNT"},
    {"ftpUnmountCommand", "MARROWDECK_FTP_UNMOUNT"},
    {"ftpMountPoint", "MARROWDECK_FTP_MOUNT_POINT"},
    {"ftpSettingsCommand", "MARROWDECK_FTP_SETTINGS"},
    {"usblanPort", "MARROWDECK_USBLAN_PORT"},
    {"updateServer", "MARROWDECK_UPDATE_SERVER"},
    {"hexEditor", "MARROWDECK_HEX_EDITOR"},
    {"textEditor", "MARROWDECK_TEXT_EDITOR"},
    {"verifyTransfers", "MARROWDECK_VERIFY_TRANSFERS"},
};

std::string trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos) return {};
    size_t end = text.find_last_not_of(" \t\r");
    return text.substr(begin, end - begin + 1);
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// The command templates of earlier versions, which quoted the placeholders themselves,
// and the key each belonged to.
constexpr std::pair<const char*, const char*> kOldDefaults[] = {
    {"shareMountCommand", "gio mount \"smb://root@%IP%/system\""},
    {"shareUnmountCommand", "gio mount -u \"smb://root@%IP%/system\""},
    {"ftpMountCommand",
     "mkdir -p \"%MOUNT%\" && exec curlftpfs -f \"ftp://root@%IP%/\" \"%MOUNT%\""},
    {"ftpUnmountCommand", "fusermount -u \"%MOUNT%\""},
};

// Today's default of a command template key.
std::string currentDefault(const std::string& key) {
    const LinuxSettings defaults;
    if (key == "shareMountCommand") return defaults.shareMountCommand;
    if (key == "shareUnmountCommand") return defaults.shareUnmountCommand;
    if (key == "ftpMountCommand") return defaults.ftpMountCommand;
    return defaults.ftpUnmountCommand;
}

// The line with its value set to today's default when it is key=an old default.
std::optional<std::string> updatedLine(const std::string& line) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) return std::nullopt;
    const std::string key = trim(line.substr(0, equals));
    const std::string value = trim(line.substr(equals + 1));
    for (const auto& [oldKey, oldValue] : kOldDefaults) {
        if (key == oldKey && value == oldValue) return key + "=" + currentDefault(key);
    }
    return std::nullopt;
}

std::string expanded(const std::string& text, const std::string& ip, const std::string& mountPoint,
                     const std::string& programFolder,
                     const std::function<std::string(const std::string&)>& put) {
    std::string out = text;
    replaceAll(out, "%IP%", put(ip));
    replaceAll(out, "%MOUNT%", put(mountPoint));
    replaceAll(out, "%PROGRAM%", put(programFolder));
    replaceAll(out, "%UID%", std::to_string(::getuid()));
    return out;
}

}  // namespace

std::optional<uint16_t> parsePort(const std::string& text) {
    if (text.empty() || text.size() > 5) return std::nullopt;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535) return std::nullopt;
    return static_cast<uint16_t>(value);
}

bool LinuxSettings::apply(const std::string& key, const std::string& value) {
    std::pair<const char*, std::string*> texts[] = {
        {"shareMountCommand", &shareMountCommand},
        {"shareUnmountCommand", &shareUnmountCommand},
        {"shareMountPoint", &shareMountPoint},
        {"ftpMountCommand", &ftpMountCommand},
        {"ftpUnmountCommand", &ftpUnmountCommand},
        {"ftpMountPoint", &ftpMountPoint},
        {"ftpSettingsCommand", &ftpSettingsCommand},
        {"hexEditor", &hexEditor},
        {"textEditor", &textEditor},
        {"updateServer", &updateServer},
    };
    for (auto& [name, field] : texts) {
        if (key == name) {
            *field = value;
            return true;
        }
    }
    if (key == "verifyTransfers") {
        if (value != "0" && value != "1") return false;
        verifyTransfers = value == "1";
        return true;
    }
    if (key == "usblanPort") {
        auto port = parsePort(value);
        if (port) usblanPort = *port;
        return port.has_value();
    }
    return false;
}

LinuxSettings LinuxSettings::parse(std::string_view fileText, std::string* warnings) {
    LinuxSettings settings;
    std::istringstream in{std::string(fileText)};
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        line = trim(line);
        if (line.empty() || line[0] == '#') continue;
        size_t equals = line.find('=');
        if (equals == std::string::npos ||
            !settings.apply(trim(line.substr(0, equals)), trim(line.substr(equals + 1)))) {
            if (warnings) {
                *warnings += std::string(kFileName) + " line " + std::to_string(number) +
                             " ignored: " + line + "\n";
            }
        }
    }
    return settings;
}

LinuxSettings LinuxSettings::load(const std::string& programFolder,
                                  const std::function<const char*(const char*)>& getenv,
                                  std::string* warnings) {
    auto warn = [&](const std::string& text) {
        if (warnings) *warnings += text + "\n";
    };
    const std::string path = programFolder + "/" + kFileName;
    std::string fileText = readTextFile(path).value_or("");
    if (auto updated = withOldDefaultsReplaced(fileText)) {
        fileText = std::move(*updated);
        std::string error;
        const auto* bytes = reinterpret_cast<const uint8_t*>(fileText.data());
        if (!writeFileSafely(path, std::span<const uint8_t>(bytes, fileText.size()),
                             ExistingFile::Replace, error)) {
            warn(std::string(kFileName) + ": the old mount commands are not updated: " + error);
        }
    }
    LinuxSettings settings = parse(fileText, warnings);
    if (!getenv) return settings;
    for (const Key& key : kKeys) {
        const char* value = getenv(key.environment);
        if (value && !settings.apply(key.name, value)) {
            warn(std::string(key.environment) + " ignored: " + value);
        }
    }
    return settings;
}

std::string expandTemplate(const std::string& text, const std::string& ip,
                           const std::string& mountPoint, const std::string& programFolder) {
    return expanded(text, ip, mountPoint, programFolder,
                    [](const std::string& value) { return value; });
}

std::string expandCommandTemplate(const std::string& text, const std::string& ip,
                                  const std::string& mountPoint, const std::string& programFolder) {
    return expanded(text, ip, mountPoint, programFolder, shellQuoted);
}

std::optional<std::string> LinuxSettings::withOldDefaultsReplaced(std::string_view fileText) {
    std::string out;
    bool changed = false;
    std::istringstream in{std::string(fileText)};
    for (std::string line; std::getline(in, line);) {
        auto updated = updatedLine(line);
        changed = changed || updated.has_value();
        out += updated.value_or(line) + "\n";
    }
    if (!changed) return std::nullopt;
    return out;
}

}  // namespace mdk
