#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace mdk {

// Settings only the Linux build needs, kept in a small key=value file beside ".config"
// (the 1681-byte record is never extended). Each key can also come from the environment,
// which wins over the file. Templates may use %IP% (the phone's address), %MOUNT% (the
// mount point) and %PROGRAM% (the program folder); %UID% is the user id. In the command
// templates each is put in shell-quoted, so a template needs no quotes of its own around
// them (inside double quotes "$(...)" in a folder name would still run).
struct LinuxSettings {
    static constexpr const char* kFileName = ".linux-settings";

    // The stand-in for mapping the phone's share (mode 1) and removing the mapping.
    std::string shareMountCommand = "gio mount smb://root@%IP%/system";
    std::string shareUnmountCommand = "gio mount -u smb://root@%IP%/system";
    std::string shareMountPoint = "/run/user/%UID%/gvfs/smb-share:server=%IP%,share=system";
    // The stand-in for the FTP drive program (mode 2); the command is kept running.
    std::string ftpMountCommand = "mkdir -p %MOUNT% && exec curlftpfs -f ftp://root@%IP%/ %MOUNT%";
    std::string ftpUnmountCommand = "fusermount -u %MOUNT%";
    std::string ftpMountPoint = "%PROGRAM%/FtpDrive/phone";
    // Run before each IP report in place of the FTP drive's settings import; empty: none.
    std::string ftpSettingsCommand;
    // The hex editor (seem records, Edit on a phone file) and the text editor (Edit on a
    // PC file, last viewer); empty: looked up among the usual Linux programs.
    std::string hexEditor;
    std::string textEditor;
    // The phone's P2k05 port over USBLAN.
    uint16_t usblanPort = 11000;
    // The update server: scheme, host and optional port ("http://host:8080"). The default
    // host lies in the ".invalid" domain, which is never looked up: no check leaves the
    // machine until a server is set here.
    std::string updateServer = "http://update.marrowdeck.invalid";
    // Checks every phone file transfer: an upload is read back and compared, a download's
    // size is compared with the catalogue's. "verifyTransfers=1" (0 or 1).
    bool verifyTransfers = false;

    // Reads programFolder/.linux-settings (missing file: defaults), then the environment
    // through getenv (MARROWDECK_SHARE_MOUNT, MARROWDECK_SHARE_UNMOUNT,
    // MARROWDECK_SHARE_MOUNT_POINT, MARROWDECK_FTP_MOUNT, MARROWDECK_FTP_UNMOUNT,
    // MARROWDECK_FTP_MOUNT_POINT, MARROWDECK_FTP_SETTINGS, MARROWDECK_USBLAN_PORT,
    // MARROWDECK_HEX_EDITOR, MARROWDECK_TEXT_EDITOR, MARROWDECK_UPDATE_SERVER,
    // MARROWDECK_VERIFY_TRANSFERS).
    // Unknown keys and bad values are skipped and reported in warnings.
    static LinuxSettings load(const std::string& programFolder,
                              const std::function<const char*(const char*)>& getenv,
                              std::string* warnings = nullptr);
    // The settings of a file's text over the defaults: key=value lines, "#" comments.
    static LinuxSettings parse(std::string_view fileText, std::string* warnings = nullptr);
    // The file's text with every command template that is exactly an earlier default
    // (one that quoted the placeholders itself) set to today's default; nullopt when
    // nothing needs it. load() writes the file back then.
    static std::optional<std::string> withOldDefaultsReplaced(std::string_view fileText);
    // Applies one key=value line; false for an unknown key or a bad value.
    bool apply(const std::string& key, const std::string& value);
};

// Replaces %IP%, %MOUNT%, %PROGRAM% and %UID% in a template (a mount point's path).
std::string expandTemplate(const std::string& text, const std::string& ip,
                           const std::string& mountPoint, const std::string& programFolder);
// The same for a shell command line: each value is put in shell-quoted.
std::string expandCommandTemplate(const std::string& text, const std::string& ip,
                                  const std::string& mountPoint, const std::string& programFolder);

// A port number 1..65535 from decimal text.
std::optional<uint16_t> parsePort(const std::string& text);

}  // namespace mdk
