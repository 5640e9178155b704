#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/xdg_files.h"

namespace mdk {

class CommandRunner;

// The names the desktop knows the program by. An installed package uses the same ones.
namespace association {
inline constexpr const char* kDesktopId = "marrowdeck.desktop";
inline constexpr const char* kMimePackage = "marrowdeck.xml";
inline constexpr const char* kIconName = "marrowdeck";
inline constexpr const char* kPackageType = "application/x-marrowdeck-package";
inline constexpr const char* kSkinPackType = "application/x-skin4moto";
}  // namespace association

// What one start did to the associations.
enum class AssociationResult {
    Written,    // files written (or already up to date)
    Installed,  // an installed package carries the entry: nothing of ours is kept
    Failed,     // a file could not be written (not reported to the user)
};

// The file associations of ".mrdk" (and ".s4m") for the desktop, written into the user's
// data folder at every start: a shared-mime-info package, the program icon and a desktop
// entry whose Exec passes the opened file to the program. ".s4m" is left out when
// another installed application's desktop entry already claims the skin-pack type.
// When an installed package's desktop entry of the same id exists in a system data
// folder, nothing is written and entries an earlier start wrote are removed, so the menu
// never shows two entries and the association never points at a build tree.
class FileAssociations {
public:
    FileAssociations(XdgFolders folders, CommandRunner& runner)
        : folders_(std::move(folders)), runner_(runner) {}

    // programPath: the absolute path of the executable; iconPng: the program icon.
    AssociationResult write(const std::string& programPath, const std::vector<uint8_t>& iconPng);

    // The texts written, for the tests and the package.
    static std::string mimePackageText(bool withSkinPack);
    static std::string desktopEntryText(const std::string& programPath, bool withSkinPack);

    std::string desktopEntryPath() const;
    std::string mimePackagePath() const;
    std::string iconPath() const;

private:
    bool installedEntryExists() const;
    bool skinPackClaimed() const;
    void removeOwnEntries();
    void refreshDatabases(bool mimeChanged, bool entryChanged);

    XdgFolders folders_;
    CommandRunner& runner_;
};

}  // namespace mdk
